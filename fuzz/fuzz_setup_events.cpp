// Event scripts, the headless dialog's input from a file: any text is read
// or refused with a reason, and every event read names what it acts on.
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "toolkit_events.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<tk::Event> events;
    std::string error;
    if (tk::parse_event_script(text, events, error)) {
        for (const tk::Event &e : events)
            FUZZ_CHECK(e.kind != tk::EventKind::call);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    return 0;
}
