#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace solar {

// The one rule for a number the operator types into a box of the window (the
// latitude, the longitude, the controller's port), whichever encoding the box
// hands over. The operator types on one keyboard, so every box reads the same:
//
// - blanks around the number are dropped: ASCII white space (space, tab, line
//   feed, carriage return, vertical tab, form feed; a value pasted from a
//   spreadsheet cell brings a tab or a line end) and the ideographic space
//   U+3000 (the space bar in the input method's full-width mode);
// - every full-width form U+FF01 to U+FF5E reads as its ASCII original, as the
//   input method's full-width mode gives the whole block ("３５．６４",
//   "－７０", "１．０Ｅ４"), and so do the two minus signs that are not in it:
//   U+2212 MINUS SIGN and U+30FC, the prolonged-sound mark that the minus key
//   gives in kana mode ("ー35");
// - what is left must be sign? (digits ("." digits?)? | "." digits)
//   (("e" | "E") sign? digits)?: a point is the decimal separator whatever the
//   regional settings; no comma, no blank inside, no "nan", "inf" or "0x";
// - anything else is refused: any other character, NUL, and text that is not
//   well-formed (UTF-8 that is overlong, truncated, a surrogate or beyond
//   U+10FFFF; a lone UTF-16 surrogate), so bytes that no one typed can never
//   pass as a digit.
//
// Returns the number as plain ASCII in that grammar, blanks dropped and
// characters mapped ("－３５．６" gives "-35.6"), or nullopt when refused. Runs
// in time linear in the text's length, for any input.
std::optional<std::string> typedNumberText(std::string_view utf8);
std::optional<std::string> typedNumberText(std::u16string_view utf16);

}  // namespace solar
