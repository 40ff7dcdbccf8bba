// Splits a fuzzer's input into the pieces a harness needs: small integers
// and choices from the front, texts cut at a separator byte, the rest whole.
// The same input always gives the same pieces, so a saved input replays.
#ifndef KV_FUZZ_INPUT_H
#define KV_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace kvfuzz {

class Input {
public:
    Input(const uint8_t *data, std::size_t size) : rest_(reinterpret_cast<const char *>(data), size) {}

    bool empty() const { return rest_.empty(); }

    // One byte (0 when the input is used up).
    uint8_t byte()
    {
        if (rest_.empty())
            return 0;
        auto b = static_cast<uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }

    // A number in [low, high] from one or two bytes.
    int range(int low, int high)
    {
        unsigned span = static_cast<unsigned>(high - low) + 1;
        unsigned raw = byte();
        if (span > 256)
            raw = raw << 8 | byte();
        return low + static_cast<int>(raw % span);
    }

    // A 32-bit word from four bytes.
    uint32_t word()
    {
        uint32_t w = 0;
        for (int i = 0; i < 4; i++)
            w = w << 8 | byte();
        return w;
    }

    // The bytes up to the next `separator` (dropped) or the end; NUL bytes
    // are kept, so the caller decides whether a C string ends there.
    std::string text(char separator = '\x01')
    {
        std::size_t end = rest_.find(separator);
        std::string piece(rest_.substr(0, end));
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return piece;
    }

    // Everything that is left.
    std::string remainder()
    {
        std::string piece(rest_);
        rest_ = {};
        return piece;
    }

private:
    std::string_view rest_;
};

// A property of the code under test that must hold: on failure the input
// is a finding, reported like a sanitizer's.
[[noreturn]] inline void fail(const char *file, int line, const char *what)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
    std::abort();
}

} // namespace kvfuzz

#define FUZZ_CHECK(condition)                                                                                    \
    do {                                                                                                         \
        if (!(condition))                                                                                        \
            ::kvfuzz::fail(__FILE__, __LINE__, #condition);                                                      \
    } while (0)

#endif
