// The interface description reader on fuzzed GtkBuilder XML: any text gives
// a window or none, without a crash, a leak or a read out of bounds. The
// first byte chooses the window asked for.
#include <string>

#include "fuzz_input.h"
#include "toolkit_headless.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    kvfuzz::Input in(data, size);
    const char *name = in.byte() % 2 ? "Dialog" : "DialogNoDsn";
    std::string xml = in.remainder();
    auto window = tk::read_window(xml, name);
    if (window)
        FUZZ_CHECK(window->name == name);
    return 0;
}
