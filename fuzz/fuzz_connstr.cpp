// Connection strings: a fuzzed string is parsed, edited with fuzzed keys and
// values, and generated; parsing the generated text gives the same pairs.
// The length-taking generators write whole items within any buffer length
// and report the length of the whole text.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_input.h"
#include "internal.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string upper(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(kv_ascii_upper(static_cast<unsigned char>(c)));
    return text;
}

// The pairs of `list`, keys in upper case.
Pairs pairs_of(AttributeList *list)
{
    Pairs pairs;
    if (list->count == 0)
        return pairs;
    for (ListItem *item = ListFirst(list->pairs); item; item = ListNext(item)) {
        auto *pair = static_cast<AttributePair *>(ListData(item));
        pairs.emplace_back(upper(pair->key), pair->value);
    }
    return pairs;
}

// The pairs a generated string reads back as: the edits may have given a
// key in lower case, a key the text cannot hold (left out when generating)
// or a key twice (the first wins when parsing); ODBCDM is never generated.
Pairs written_pairs(AttributeList *list)
{
    Pairs written;
    for (const auto &pair : pairs_of(list)) {
        const std::string &key = pair.first;
        bool writable = !key.empty() && key.find_first_of(";{}=") == std::string::npos && key != "ODBCDM";
        bool repeated = std::any_of(written.begin(), written.end(), [&](const auto &p) { return p.first == key; });
        if (writable && !repeated)
            written.push_back(pair);
    }
    return written;
}

void edit(kvfuzz::Input &in, AttributeList *list, MemHandle *mem)
{
    for (int step = in.range(0, 4); step > 0; step--) {
        std::string key = in.text().c_str(), other = in.text().c_str();
        switch (in.range(0, 4)) {
        case 0: append_pair(list, key.c_str(), other.c_str(), mem); break;
        case 1: modify_connection_string(list, key.c_str(), other.c_str(), mem); break;
        case 2: change_connection_string(list, key.c_str(), other.c_str(), mem); break;
        case 3: replace_connection_string(list, key.c_str(), other.c_str(), mem); break;
        default: delete_connection_string(list, key.c_str(), mem); break;
        }
    }
}

// The generated text; a buffer of every shorter length holds whole items
// only, a prefix of it, and says it was cut.
std::string generate(AttributeList *list, int cut_length)
{
    int32_t needed = -1;
    FUZZ_CHECK(generate_connection_string_ex_len(list, nullptr, 0, &needed) == (list->count ? 1 : 0) ||
               needed == 0);
    FUZZ_CHECK(needed >= 0);
    auto whole = std::make_unique<char[]>(static_cast<std::size_t>(needed) + 1);
    int32_t again = -1;
    FUZZ_CHECK(generate_connection_string_ex_len(list, whole.get(), needed + 1, &again) == 0);
    FUZZ_CHECK(again == needed && std::strlen(whole.get()) == static_cast<std::size_t>(needed));

    if (cut_length <= needed) {
        auto cut = std::make_unique<char[]>(static_cast<std::size_t>(cut_length) + 1);
        FUZZ_CHECK(generate_connection_string_ex_len(list, cut.get(), cut_length, &again) == 1);
        std::size_t kept = cut_length > 0 ? std::strlen(cut.get()) : 0;
        FUZZ_CHECK(kept < static_cast<std::size_t>(cut_length) || cut_length == 0);
        FUZZ_CHECK(std::strncmp(cut.get(), whole.get(), kept) == 0);
        FUZZ_CHECK(kept == 0 || cut[kept - 1] == ';');
    }
    return whole.get();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    kvfuzz::Input in(data, size);
    int flags = in.byte() % 2 ? KV_CONSTR_NO_DEFAULT_DSN : 0;
    int cut_length = in.range(0, 300);
    std::string text = in.text('\0');
    AttributeList first, second;
    init_con_str(&first);
    init_con_str(&second);
    if (parse_connection_string(&first, mem, text.data(), static_cast<int>(text.size()), flags) == 0) {
        edit(in, &first, mem);
        std::string generated = generate(&first, cut_length);
        FUZZ_CHECK(parse_connection_string(&second, mem, generated.c_str(), SQL_NTS, KV_CONSTR_NO_DEFAULT_DSN) == 0);
        FUZZ_CHECK(pairs_of(&second) == written_pairs(&first));
    }
    kv_mem_release_handle(mem);
    return 0;
}
