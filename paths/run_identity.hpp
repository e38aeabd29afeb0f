// The run identity: the values of the template variables PID, TIME, TIME_US
// and RANDOM. The first use in a run produces a value and stores it in the
// environment; every later use, here or in a child process, reads it back.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr size_t random_byte_count = 8;
// 11 base64url characters and a terminator.
constexpr size_t random_text_units = 12;

void make_random_bytes(uint8_t (&bytes)[random_byte_count]);
void encode_random_bytes(const uint8_t (&bytes)[random_byte_count],
                         wchar_t (&text)[random_text_units]);

// One xorshift step (13, 17, 5); make_random_bytes takes the low byte of
// each of eight steps from its seed.
uint32_t advance_xorshift(uint32_t state);
// Seed 0 would keep the generator at 0 for ever; it becomes 1.
uint32_t random_seed(uint32_t process_id, uint64_t mixed);

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
