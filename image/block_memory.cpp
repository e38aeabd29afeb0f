// Block copies and fills for the launcher image, which imports none of them:
// the compiler calls these for copies, moves and zeroing, and the launcher
// and the decompressor call them directly. The string instructions are fast
// for every size on the processors this runs on, and the assembler keeps the
// compiler from turning the functions back into calls to themselves.
#include <stddef.h>

extern "C" void *memcpy(void *destination, const void *source, size_t count)
{
    void *to = destination;
    asm volatile("rep movsb" : "+D"(to), "+S"(source), "+c"(count) : : "memory");
    return destination;
}

extern "C" void *memmove(void *destination, const void *source, size_t count)
{
    auto to = static_cast<unsigned char *>(destination);
    auto from = static_cast<const unsigned char *>(source);
    if (to <= from || to >= from + count)
        return memcpy(destination, source, count);
    // The destination overlaps the end of the source: copy from the back.
    const unsigned char *last_from = from + count - 1;
    unsigned char *last_to = to + count - 1;
    asm volatile("std\n\trep movsb\n\tcld" : "+D"(last_to), "+S"(last_from), "+c"(count) : : "memory", "cc");
    return destination;
}

extern "C" void *memset(void *destination, int value, size_t count)
{
    void *to = destination;
    asm volatile("rep stosb" : "+D"(to), "+c"(count) : "a"(value) : "memory");
    return destination;
}
