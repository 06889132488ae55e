# Manual pages for the four programs, in English (man1) and Japanese
# (ja/man1), written at build time by help2man from each program's own
# --help, so that a page cannot list an option the program does not have.
# What --help cannot say (the NAME line, files, exit status, examples) comes
# from the hand-written packaging/man/<program>[.ja].h2m.
# Off in the test builds, which install nothing; the Debian package's build
# (debian/rules) turns it on. They are installed uncompressed, as a
# distribution's tools compress them their own way.
option(HELIOTROPE_MANPAGES "Write and install the manual pages (needs help2man)" OFF)
if(NOT HELIOTROPE_MANPAGES)
  return()
endif()
find_program(HELIOTROPE_HELP2MAN help2man)
if(NOT HELIOTROPE_HELP2MAN)
  message(FATAL_ERROR "HELIOTROPE_MANPAGES needs help2man (apt-get install help2man)")
endif()

set(manSource ${PROJECT_SOURCE_DIR}/packaging/man)
set(manBinary ${PROJECT_BINARY_DIR}/man)
# help2man only writes English headings; Japanese pages get the headings of
# Debian's own Japanese manual pages. (Japanese given to help2man on its
# command line comes out garbled, so the NAME lines are in the .h2m files.)
set(japaneseHeadings
  -e "s/\"User Commands\"$/\"ユーザーコマンド\"/"
  # Left-aligned: groff cannot break a run of Japanese, and justifying the
  # lines around one spreads the words across the page.
  -e "/^\\.TH /a .ad l"
  -e "s/^\\.SH NAME$/.SH 名前/"
  -e "s/^\\.SH SYNOPSIS$/.SH 書式/"
  -e "s/^\\.SH DESCRIPTION$/.SH 説明/"
  -e "s/^\\.SH OPTIONS$/.SH オプション/"
  -e "s/^\\.SH FILES$/.SH ファイル/"
  -e "s/^\\.SH ENVIRONMENT$/.SH 環境変数/"
  -e "s/^\\.SH \"EXIT STATUS\"$/.SH 終了ステータス/"
  -e "s/^\\.SH EXAMPLES$/.SH 例/"
  -e "s/^\\.SH COPYRIGHT$/.SH 著作権/"
  -e "s/^\\.SH \"SEE ALSO\"$/.SH 関連項目/")

set(allPages)
foreach(program heliotrope heliotrope-sim heliotrope-rotctl heliotrope-radiometer-sim)
  if(NOT TARGET ${program})
    continue()
  endif()
  foreach(language en ja)
    # help2man names the page after the program it runs: a wrapper with the
    # program's own name that keeps one language of the help.
    set(wrapper ${manBinary}/${language}/bin/${program})
    file(GENERATE OUTPUT ${wrapper}
      CONTENT "#!/bin/sh\nexec '${manSource}/help-in-language' ${language} '$<TARGET_FILE:${program}>' \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    if(language STREQUAL "en")
      set(include ${manSource}/${program}.h2m)
      set(headings -e "s/^//")  # English headings stay as help2man writes them
    else()
      set(include ${manSource}/${program}.ja.h2m)
      set(headings ${japaneseHeadings})
    endif()
    set(page ${manBinary}/${language}/${program}.1)
    add_custom_command(OUTPUT ${page}
      COMMAND ${HELIOTROPE_HELP2MAN} --locale=C.UTF-8 --no-info --section=1
              --include=${include} --output=${page} ${wrapper}
      COMMAND sed -i ${headings} ${page}
      DEPENDS ${program} ${include} ${manSource}/help-in-language
      COMMENT "Writing the ${language} manual page of ${program}"
      VERBATIM)
    list(APPEND allPages ${page})
    if(language STREQUAL "en")
      install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
      install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
    endif()
  endforeach()
endforeach()
add_custom_target(heliotrope-manpages ALL DEPENDS ${allPages})
