/* HostAuthFixture.c — a host-auth library for the tests: fills the 1280-byte defaults
   block with fixed, recognisable values (length byte, then the characters). */
#include <string.h>

static void put(unsigned char* block, int offset, const char* text) {
    size_t n = strlen(text);
    block[offset] = (unsigned char)n;
    memcpy(block + offset + 1, text, n);
}

void GetHostAuth(unsigned char* block) {
    put(block, 0, "fixture-user");
    put(block, 256, "fixture-pw");
    put(block, 512, "127.0.0.9");
    put(block, 768, "fixture_db");
    put(block, 1024, "3399");
}
