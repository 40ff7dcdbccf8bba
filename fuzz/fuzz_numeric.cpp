// Numeric text: string_to_numeric and create_numeric on fuzzed text and
// scales agree with the plain digit-string reference (results, return codes
// and the text left behind), and numeric_to_string reads back as the same
// number, cut or whole as its buffer allows.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "fuzz_input.h"
#include "numeric_reference.h"

namespace {

// Both results start from the same junk, so fields a call leaves alone
// compare too.
NumericValue junk()
{
    NumericValue n;
    std::memset(&n, 0xa5, sizeof n);
    return n;
}

// The digit-string method keeps the sign of a negative zero; the library
// makes every zero it writes positive.
bool same(const NumericValue &library, NumericValue reference, int rc)
{
    if (rc == 0 && std::all_of(std::begin(reference.val), std::end(reference.val), [](SQLCHAR b) { return b == 0; }))
        reference.sign = 1;
    return std::memcmp(&library, &reference, sizeof library) == 0;
}

// The text written for `n` parses back, at its own scale, to the same number.
void check_round_trip(const NumericValue &n, int cut_length)
{
    char text[200];
    int length = -1;
    FUZZ_CHECK(numeric_to_string(&n, text, sizeof text, &length) == 0);
    FUZZ_CHECK(length >= 0 && length <= 169 && std::strlen(text) == static_cast<size_t>(length));
    NumericValue back{};
    FUZZ_CHECK(create_numeric(text, &back, n.precision, n.scale) == 0);
    FUZZ_CHECK(numeric_compare(&n, &back) == 0);
    FUZZ_CHECK(back.sign == n.sign || numeric_is_zero(&n));

    // A shorter buffer holds a terminated prefix, and says it was cut.
    char cut[200];
    std::memset(cut, '#', sizeof cut);
    int cut_total = -1;
    int rc = numeric_to_string(&n, cut, cut_length, &cut_total);
    FUZZ_CHECK(cut_total == length);
    FUZZ_CHECK(rc == (cut_length > length ? 0 : 1));
    if (cut_length > 0) {
        std::size_t kept = std::strlen(cut);
        FUZZ_CHECK(kept < static_cast<size_t>(cut_length) && std::strncmp(cut, text, kept) == 0);
    }
    FUZZ_CHECK(cut[cut_length] == '#');
}

void check_string_to_numeric(const std::string &text, int precision, int scale, int cut_length)
{
    std::string mine = text, theirs = text;
    NumericValue got = junk(), want = junk();
    int rc = string_to_numeric(mine.data(), &got, precision, scale);
    int rc_reference = numeric_reference::string_to_numeric(theirs.data(), &want, precision, scale);
    FUZZ_CHECK(rc == rc_reference);
    FUZZ_CHECK(std::strcmp(mine.c_str(), theirs.c_str()) == 0);
    FUZZ_CHECK(same(got, want, rc));
    if (rc == 0)
        check_round_trip(got, cut_length);
}

void check_create_numeric(const std::string &text, int precision, int scale, int cut_length)
{
    NumericValue got = junk(), want = junk();
    int rc = create_numeric(text.c_str(), &got, precision, scale);
    FUZZ_CHECK(rc == numeric_reference::create_numeric(text.c_str(), &want, precision, scale));
    FUZZ_CHECK(same(got, want, rc));
    if (rc == 0)
        check_round_trip(got, cut_length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    kvfuzz::Input input(data, size);
    int precision = input.range(0, 40);
    int scale = input.range(-40, 40);
    int cut_length = input.range(0, 180);
    std::string text = input.remainder();
    text = text.c_str(); // the functions read a terminated text
    check_string_to_numeric(text, precision, scale, cut_length);
    check_create_numeric(text, precision, scale, cut_length);
    return 0;
}
