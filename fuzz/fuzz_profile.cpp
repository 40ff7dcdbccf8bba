// The profile reader and rewriter: a fuzzed odbc.ini, a lookup, then one
// set_profile_string. After a rewrite the key reads back as the value set
// (when its section surely exists), every other key reads as before, and
// the backup holds the old text byte for byte. The files live in a private
// directory (in memory where /dev/shm exists); fsync is skipped through the
// system-call seam, as nothing here needs the data on a disk.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "fuzz_input.h"
#include "internal.h"

namespace {

std::string scratch_directory()
{
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/kvfuzz.XXXXXX" : "/tmp/kvfuzz.XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

struct Scratch {
    Scratch() : directory(scratch_directory()), profile(directory + "/odbc.ini")
    {
        kv_syscalls.fsync = [](int) { return 0; };
        registry = open_registry();
    }
    ~Scratch()
    {
        std::remove((profile + "~").c_str());
        std::remove(profile.c_str());
        rmdir(directory.c_str());
    }
    std::string directory;
    std::string profile;
    Registry *registry;
};

Scratch &scratch()
{
    static Scratch s;
    return s;
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string lookup(Registry *registry, int mode, const std::string &section, const std::string &key)
{
    char buffer[512];
    int rc = get_profile_string(registry, mode, section.c_str(), key.c_str(), "<none>", buffer, sizeof buffer);
    return std::to_string(rc) + ":" + buffer;
}

std::string trimmed(std::string text)
{
    auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(text[start]))
        start++;
    return text.substr(start);
}

// A section name a header line written around it surely reads back as.
bool plain_name(const std::string &name)
{
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.')
            return false;
    return !name.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    Scratch &s = scratch();
    kvfuzz::Input in(data, size);
    int mode = in.range(0, 2);
    bool add_section = in.byte() % 2;
    std::string section = in.text().c_str(), key = in.text().c_str(), value = in.text().c_str();
    std::string probe_key = in.text().c_str();
    std::string text = in.remainder();
    bool sure = add_section && plain_name(section);
    if (sure)
        text += std::string("\n") + "{(["[mode] + section + "})]"[mode] + "\nfirst = 1\n";

    write_file(s.profile, text);
    std::remove((s.profile + "~").c_str());
    set_config(s.registry, s.profile.c_str());
    std::string probe_before = lookup(s.registry, mode, section, probe_key);

    int rc = set_profile_string(s.registry, mode, section.c_str(), key.c_str(), value.c_str());
    if (rc != 0) {
        FUZZ_CHECK(read_file(s.profile) == text);
        return 0;
    }
    FUZZ_CHECK(read_file(s.profile + "~") == text);
    std::string got = lookup(s.registry, mode, section, key);
    if (sure)
        FUZZ_CHECK(got == "0:" + trimmed(trimmed(value).substr(0, 511))); // cut to the buffer, then trimmed
    if (!kv_equal_nocase(trimmed(probe_key), trimmed(key)))
        FUZZ_CHECK(lookup(s.registry, mode, section, probe_key) == probe_before);
    return 0;
}
