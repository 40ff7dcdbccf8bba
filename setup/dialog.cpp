/*
** The setup dialog: tab switching with Back and Next, the tab handler, the
** commands of the window and the database check. The state of the one dialog
** that runs at a time lives in `dialog` below.
*/
#include "dialog.h"
#include "toolkit.h"

#include <array>
#include <span>

namespace fbsetup {
namespace {

constexpr std::uint32_t kvfb = tk::four_cc("KVFB");
constexpr std::uint32_t tabs = tk::four_cc("tabs");
constexpr std::uint32_t command_back = tk::four_cc("Back");
constexpr std::uint32_t command_next = tk::four_cc("Next");
constexpr std::uint32_t command_test = tk::four_cc("Test");

constexpr std::array<int, 4> data_source_panes = {101, 102, 103, 104};
constexpr std::array<int, 3> connection_panes = {3102, 3103, 3104};

struct DialogState {
    DialogMode mode = DialogMode::data_source;
    tk::Window *window = nullptr;
    tk::Control *tab_control = nullptr;
    int lastTabIndex = 1;
    int exit_code = -1;
    DialogHooks hooks;
    std::string refusal;  // what the last refused OK said
    std::string failure;  // why OK failed
};

DialogState dialog;

std::span<const int> tab_list()
{
    if (dialog.mode == DialogMode::data_source) return data_source_panes;
    return connection_panes;
}

int tab_count() { return int(tab_list().size()); }

tk::Control *control(int number)
{
    int offset = dialog.mode == DialogMode::data_source ? 0 : 1000;
    return tk::find_control(dialog.window, kvfb, number + offset);
}

void switch_to_tab(int n)
{
    dialog.lastTabIndex = n;
    std::span<const int> panes = tab_list();
    tk::Control *shown = nullptr;
    for (int i = 1; i <= tab_count(); ++i) {
        tk::Control *pane = tk::find_control(dialog.window, tabs, panes[std::size_t(i - 1)]);
        if (i == n) shown = pane;
        else tk::hide(pane);
    }
    if (shown) {
        tk::clear_focus(dialog.window);
        tk::show(shown);
    }
    tk::draw(dialog.tab_control);
    tk::Control *back = control(back_button);
    tk::Control *next = control(next_button);
    if (n == 1) tk::disable(back);
    else tk::enable(back);
    if (n == tab_count()) tk::disable(next);
    else tk::enable(next);
    tk::advance_focus(dialog.window);
}

void select_tab(int n)
{
    tk::set_value(dialog.tab_control, n);
    switch_to_tab(n);
}

tk::Status on_tab_hit(tk::Control *tab_control, void *)
{
    int value = tk::get_value(tab_control);
    if (value == dialog.lastTabIndex) return tk::Status::not_handled;
    switch_to_tab(value);
    return tk::Status::handled;
}

void install_tab_handling()
{
    int number = dialog.mode == DialogMode::data_source ? 100 : 2100;
    dialog.tab_control = tk::find_control(dialog.window, tabs, number);
    tk::install_control_hit_handler(dialog.tab_control, on_tab_hit, nullptr);
    select_tab(1);
}

void refuse(const std::string &reason)
{
    dialog.refusal = reason;
    tk::stop_alert(alert_title, reason);
}

bool database_given()
{
    if (!field_text(database_field).empty()) return true;
    refuse("A target database must be specified");
    select_tab(2);
    return false;
}

// OK: the database check, then the entry point's verdict.
void accept()
{
    if (!database_given()) return;
    std::string reason;
    Acceptance verdict = dialog.hooks.accept ? dialog.hooks.accept(dialog.hooks.data, reason) : Acceptance::accepted;
    if (verdict == Acceptance::refused) {
        refuse(reason);
        return;
    }
    if (verdict == Acceptance::failed) {
        dialog.failure = reason.empty() ? "OK failed" : reason;
        tk::stop_alert(alert_title, dialog.failure);
    } else {
        dialog.exit_code = 1;
    }
    tk::quit_event_loop();
}

void run_test()
{
    test_connection(field_text(user_field), field_password(password_field), field_text(database_field),
                    field_text(role_field), field_text(charset_field));
}

tk::Status on_command(tk::Window *, std::uint32_t command, void *)
{
    if (command == command_back) {
        if (dialog.lastTabIndex >= 2) select_tab(dialog.lastTabIndex - 1);
    } else if (command == command_next) {
        if (dialog.lastTabIndex < tab_count()) select_tab(dialog.lastTabIndex + 1);
    } else if (command == command_test) {
        if (database_given()) run_test();
    } else if (command == tk::command_ok) {
        accept();
    } else if (command == tk::command_cancel) {
        dialog.exit_code = -1;
        tk::quit_event_loop();
    } else {
        return tk::Status::not_handled;
    }
    return tk::Status::handled;
}

DialogOutcome outcome(tk::LoopEnd loop_end, std::string problem)
{
    if (loop_end == tk::LoopEnd::failed) return {DialogEnd::failed, std::move(problem)};
    if (!dialog.failure.empty()) return {DialogEnd::failed, dialog.failure};
    if (dialog.exit_code == 1) return {DialogEnd::ok, {}};
    if (loop_end == tk::LoopEnd::unanswered)
        return {DialogEnd::unanswered, dialog.refusal.empty() ? std::move(problem) : dialog.refusal};
    return {DialogEnd::cancel, {}};
}

} // namespace

DialogOutcome run_dialog(DialogMode mode, const DialogHooks &hooks)
{
    dialog = DialogState{};
    dialog.mode = mode;
    dialog.hooks = hooks;
    std::string resources = tk::resource_dir(bundle_identifier);
    if (resources.empty())
        return {DialogEnd::failed,
                std::string("Cannot find the interface description files (") + bundle_identifier + ") of the module"};
    bool data_source = mode == DialogMode::data_source;
    std::string file = resources + (data_source ? "/ZUVazad.ui" : "/ZUVazadNoDsn.ui");
    const char *window_name = data_source ? "Dialog" : "DialogNoDsn";
    dialog.window = tk::create_window(file, window_name);
    if (!dialog.window) return {DialogEnd::failed, "Cannot read the window " + std::string(window_name) + " of " + file};

    tk::install_command_handler(dialog.window, on_command, nullptr);
    if (hooks.fill) hooks.fill(hooks.data);
    tk::show_window(dialog.window);
    install_tab_handling();
    std::string problem;
    tk::LoopEnd loop_end = tk::run_event_loop(problem);

    tk::hide_window(dialog.window);
    tk::dispose_window(dialog.window);
    DialogOutcome result = outcome(loop_end, std::move(problem));
    dialog = DialogState{};
    return result;
}

std::string field_text(int number) { return tk::get_text(control(number)); }
void set_field_text(int number, std::string_view text) { tk::set_text(control(number), text); }
std::string field_password(int number) { return tk::get_password(control(number)); }
void set_field_password(int number, std::string_view text) { tk::set_password(control(number), text); }
std::int32_t field_value(int number) { return tk::get_value(control(number)); }
void set_field_value(int number, std::int32_t value) { tk::set_value(control(number), value); }
void set_name_read_only() { tk::deactivate(control(name_field)); }

} // namespace fbsetup
