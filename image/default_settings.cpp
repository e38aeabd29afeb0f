// Compiled-in texts of a launcher packed without settings of its own.
#include "paths/build_settings.hpp"

extern "C" {
const wchar_t tarvek_company_name[] = L"Tarvek";
const wchar_t tarvek_product_name[] = L"Tarvek Onefile application";
const wchar_t tarvek_file_version[] = L"1.0.0.0";
const wchar_t tarvek_product_version[] = L"1.0.0.0";
}
