// Stored passwords: decrypt_pw(encrypt_pw(p)) gives p back for any password,
// each writing within the buffer size its contract gives (exactly, so that
// one byte more is seen), and decrypt_pw of any text stays within its size.
#include <cstring>
#include <memory>
#include <string>

#include "fbsetup.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    kvfuzz::Input in(data, size);
    std::string password = in.remainder();
    password = password.c_str();

    std::size_t length = password.size();
    auto scrambled = std::make_unique<char[]>(2 * length + 9);
    FUZZ_CHECK(encrypt_pw(password.c_str(), scrambled.get()) == scrambled.get());
    std::size_t scrambled_length = std::strlen(scrambled.get());
    auto plain = std::make_unique<char[]>(scrambled_length + 1);
    decrypt_pw(scrambled.get(), plain.get());
    FUZZ_CHECK(password == plain.get());

    // Any stored text, scrambled form or not.
    auto any = std::make_unique<char[]>(length + 1);
    decrypt_pw(password.c_str(), any.get());
    return 0;
}
