// The compiled-in texts as the test programs see them.
#include "paths/build_settings.hpp"

extern "C" {
const wchar_t tarvek_company_name[] = L"Tarvek Test Company";
const wchar_t tarvek_product_name[] = L"Tarvek Test Product";
const wchar_t tarvek_file_version[] = L"1.2.3.4";
const wchar_t tarvek_product_version[] = L"5.6.7.8";
}
