// Wide string functions that the launcher calls and the image provides
// itself instead of importing them.
#include <wchar.h>

extern "C" wchar_t *wcsrchr(const wchar_t *text, wchar_t unit)
{
    const wchar_t *last = nullptr;
    for (;; ++text) {
        if (*text == unit)
            last = text;
        if (*text == 0)
            return const_cast<wchar_t *>(last);
    }
}
