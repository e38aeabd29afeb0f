// The run identity: the values of the template variables PID, TIME, TIME_US
// and RANDOM. The first use in a run produces a value and stores it in the
// environment; every later use, here or in a child process, reads it back.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr size_t random_byte_count = 8;
// 11 base64url characters and a terminator.
constexpr size_t random_text_units = 12;

// Six decimal digits and a terminator.
constexpr size_t time_us_text_units = 7;

// Eight bytes from the system's random generator; aborts when it gives none.
void make_random_bytes(uint8_t (&bytes)[random_byte_count]);
void encode_random_bytes(const uint8_t (&bytes)[random_byte_count],
                         wchar_t (&text)[random_text_units]);

// Whether an inherited token has the form this launcher gives it: TIME_US
// exactly six decimal digits, RANDOM exactly eleven base64url characters,
// PID one or more decimal digits. Anything else (a backslash, a dot, a
// sign, a space) is no token of a run.
bool is_time_us_token(const wchar_t *text);
bool is_random_token(const wchar_t *text);
bool is_pid_token(const wchar_t *text);

// Microsecond within the second of a FILETIME value: 0 to 999999.
uint32_t microsecond_of(uint64_t filetime);

// This process's id in decimal ("%ld"), appended at the end of a bounded buffer.
void append_own_process_id(wchar_t *output, size_t capacity);

// Each appends its variable's text at the end of a bounded buffer (abort on
// overflow). PID aborts when TARVEK_ONEFILE_PARENT holds a non-digit.
void append_pid_token(wchar_t *output, size_t capacity);
void append_time_token(wchar_t *output, size_t capacity);
void append_time_us_token(wchar_t *output, size_t capacity);
void append_random_token(wchar_t *output, size_t capacity);
