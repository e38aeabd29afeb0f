// The formatted-output functions the launcher calls, over the runtime's
// common entry points, so that the image imports those and nothing else of
// the runtime's formatting. Options as in the mingw-w64 runtime library's
// own definitions, so the output is the same.
#include <stdarg.h>
#include <stdio.h>

extern "C" int fprintf(FILE *stream, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int result = __stdio_common_vfprintf(0, stream, format, nullptr, arguments);
    va_end(arguments);
    return result;
}

extern "C" int vsnprintf(char *buffer, size_t size, const char *format, va_list arguments)
{
    return __stdio_common_vsprintf(_CRT_INTERNAL_PRINTF_STANDARD_SNPRINTF_BEHAVIOR, buffer, size, format, nullptr,
                                   arguments);
}
