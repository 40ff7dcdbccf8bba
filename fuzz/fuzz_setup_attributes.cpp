// The setup module's reading of an installer attribute string (what
// ConfigDSN receives) and of a stored odbc.ini section, with the checks made
// before anything is shown or written: a value that passes holds no line
// break and keeps within its limit, and a name that passes is a valid name.
#include <string>
#include <utility>
#include <vector>

#include "attributes.h"
#include "fuzz_input.h"

using namespace fbsetup;

namespace {

// Every value that passed the checks is safe to write as one odbc.ini line.
void check_accepted(const Values &values)
{
    for (std::size_t row = 0; row < attribute_count; ++row) {
        if (!values[row] || row == name_row)
            continue;
        const Attribute &a = attribute_table[row];
        FUZZ_CHECK(!has_line_break(*values[row]));
        if (a.kind == Kind::text)
            FUZZ_CHECK(character_count(*values[row]) <= static_cast<std::size_t>(a.items));
        if (a.kind == Kind::flag)
            FUZZ_CHECK(parse_flag(*values[row]).has_value());
        if (a.kind == Kind::choice)
            FUZZ_CHECK(parse_choice(*values[row], a.items).has_value());
    }
}

// A stored section: "key=value" lines.
std::vector<std::pair<std::string, std::string>> section_of(const std::string &text)
{
    std::vector<std::pair<std::string, std::string>> section;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            section.emplace_back(line.substr(0, equals), line.substr(equals + 1));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return section;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    kvfuzz::Input in(data, size);
    Values values;
    read_stored_section(section_of(in.text()), values);
    // The installer's form: NUL-ended entries, then an empty one.
    std::string attributes = in.remainder();
    attributes.append(2, '\0');
    Refusal refused = read_attribute_string(attributes.c_str(), values);
    std::string name = name_in_attribute_string(attributes.c_str());
    if (!refused && values[name_row] && !values[name_row]->empty())
        FUZZ_CHECK(!check_name(*values[name_row]));
    if (!refused && !check_values(values))
        check_accepted(values);
    (void)check_name(name);
    return 0;
}
