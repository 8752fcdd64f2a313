#pragma once

#include <string>
#include <string_view>

namespace orvane {

// Trims spaces, tabs, newlines and the other Unicode white space a user can paste into a title field.
std::string trimWhitespaceAndNewlines(std::string_view text);

std::string toLowerAscii(std::string_view text);

// Every occurrence of `needle`, matched without regard to ASCII case, replaced.
std::string replaceAllIgnoringCase(const std::string& text, std::string_view needle, std::string_view replacement);

// Text from files and other programs (titles, names) made safe to print on a terminal: control
// characters, bidirectional controls and bytes that are not UTF-8 are written as visible escapes
// ("\u001B", "\u202E", "\xFF"), so a title cannot move the cursor, recolour the screen or make
// the rest of a line read backwards. Everything else, other scripts and emoji included, is kept.
std::string terminalSafeText(std::string_view text);

}  // namespace orvane
