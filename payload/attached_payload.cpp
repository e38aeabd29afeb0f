#include "payload/attached_payload.hpp"

#include "payload/payload_reader.hpp"

void open_payload()
{
    open_payload_bytes(tarvek_payload, tarvek_payload_length);
}
