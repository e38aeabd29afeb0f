// Texts that the packaging step compiles into each launcher: the same values
// that its version resource carries. Defined per launcher at link time.
#pragma once

extern "C" {
extern const wchar_t tarvek_company_name[];
extern const wchar_t tarvek_product_name[];
// Dotted four-part numbers.
extern const wchar_t tarvek_file_version[];
extern const wchar_t tarvek_product_version[];
}
