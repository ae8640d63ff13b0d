// Text routines shared by the whole program. Texts are UTF-8; lengths, Left and Mid count
// characters (code points), as the table's one-byte characters are counted. Trimming removes
// blanks (spaces) only, as the program has always done.
#pragma once

#include <string>
#include <string_view>

namespace xfr {

std::string VbTrim(std::string_view s);
std::string VbRTrim(std::string_view s);
std::string VbLTrim(std::string_view s);
// ASCII upper case; other characters unchanged.
std::string UCase(std::string_view s);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

std::size_t Utf8Length(std::string_view s);
// The first n characters.
std::string Utf8Left(std::string_view s, std::size_t n);
// The last n characters.
std::string Utf8Right(std::string_view s, std::size_t n);

// A whole number as the platform's number-to-text function writes it: a blank before a positive
// number (or zero), a minus sign before a negative one.
std::string StrNumber(long long n);

// The number's digits (and sign) without blanks.
std::string NumText(long long n);

// The text trimmed, padded with blanks and cut to exactly `width` characters ("" for a width of
// 0 or less).
std::string FitToWidth(std::string_view text, int width);

// The last `width` characters of (`width` pad characters followed by the trimmed text).
std::string PadLeft(std::string_view text, int width, char pad);

// The characters before the first ","; "" when the text has no comma or starts with one.
std::string TextBeforeComma(std::string_view text);

// The leading number of a text as Val() reads it: blanks skipped, an optional sign, digits and
// one decimal point; 0 when the text does not start with a number.
double LeadingNumber(std::string_view text);

// The whole of `text` as a decimal number (sign, digits, point, exponent), read the same under
// every C locale (strtod follows LC_NUMERIC, which Qt sets from the environment); false when it
// is not one.
bool ParseDecimal(std::string_view text, double* value);

// `text` as a JSON string literal, quotes included: control characters escaped, bytes that are
// not well-formed UTF-8 written as U+FFFD.
std::string JsonQuote(std::string_view text);

}  // namespace xfr
