#pragma once

namespace heliotrope::companions {

// Ctrl+C (SIGINT) and kill (SIGTERM) end a companion through its event loop
// rather than on the spot, so that it can still say what it received before
// it goes. The handler only writes one byte to a pipe; the event loop reads it
// and quits, as Qt's own "Calling Qt Functions From Unix Signal Handlers" does.

// Installs the handlers; call once, after the QCoreApplication exists. A
// second signal while the program is ending ends it at once.
void quitOnTerminationSignals();

}  // namespace heliotrope::companions
