// Every public entry point that allocates, run with its n-th system
// allocation failing for n = 1, 2, ... until it succeeds with none failed.
// Each failed call must give its documented failure result, leak nothing
// (the live-block count and the handle's blocks are as before) and leave
// what it was given unchanged; in the end the call succeeds.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "internal.h"

namespace fs = std::filesystem;

namespace {

// What the calls work on: a handle with an error header, a statement and its
// connection, a profile file, and slots for what a case prepares.
struct World {
    World()
    {
        mem = kv_mem_alloc_handle(nullptr);
        other = kv_mem_alloc_handle(nullptr);
        header = CreateErrorHeader(mem, nullptr);
        connection.kind = KV_KIND_CONNECTION;
        connection.mem = mem;
        connection.error_header = CreateErrorHeader(mem, nullptr);
        connection.read_long_data = extract_from_long_buffer;
        connection.rewind_long_data = rewind_long_buffer;
        stmt.kind = KV_KIND_STATEMENT;
        stmt.connection = &connection;
        stmt.error_header = header;
        context.stmt = &stmt;
        context.mem = mem;
        init_con_str(&list);
        char pattern[] = "/tmp/kvalloc.XXXXXX";
        directory = mkdtemp(pattern);
        profile = directory + "/odbc.ini";
        std::ofstream(profile) << "{default}\nblob_path = " << directory << "\n[MyDSN]\nDatabase = /old\n";
        registry = open_registry();
        set_config(registry, profile.c_str());
    }
    ~World()
    {
        kv_flush_hash_table(table, nullptr, 0);
        kv_dispose_hash_table(table);
        close_registry(registry);
        kv_mem_release_handle(other);
        kv_mem_release_handle(mem);
        fs::remove_all(directory);
    }
    World(const World &) = delete;
    World &operator=(const World &) = delete;

    MemHandle *mem;
    MemHandle *other;
    ErrorHeader *header;
    DriverConnection connection{};
    DriverStatement stmt{};
    EvalContext context{};
    AttributeList list;
    std::string directory, profile;
    Registry *registry;
    HashTable *table = nullptr;
    Value *value = nullptr;
    LongBuffer *buffer = nullptr;
    void *result = nullptr;
};

// The pairs of a connection-string list as text.
std::string pairs_text(AttributeList *list)
{
    std::string text;
    if (list->count == 0)
        return text;
    for (ListItem *item = ListFirst(list->pairs); item; item = ListNext(item)) {
        auto *pair = static_cast<AttributePair *>(ListData(item));
        text += std::string(pair->key) + "=" + pair->value + ";";
    }
    return text;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Value *string_value(MemHandle *mem, const std::string &text)
{
    Value *v = NewValue(mem, static_cast<uint32_t>(text.size() + 1));
    v->type = VT_STRING;
    std::memcpy(v->data.s, text.c_str(), text.size() + 1);
    v->length = static_cast<int32_t>(text.size());
    return v;
}

int trace(Registry *registry, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int rc = _log_message("alloc.c", 1, 0, registry, format, arguments);
    va_end(arguments);
    return rc;
}

struct EntryPoint {
    const char *name;
    std::function<void(World &)> prepare;  // outside the failure window
    std::function<bool(World &)> call;     // true when the call reports success
    std::function<std::string(World &)> observe; // what a failed call leaves as it was
    // A failure keeps the work done so far, as the call documents; `call`
    // checks what a failure may leave.
    bool keeps_partial_work = false;
};

std::string nothing(World &) { return ""; }

NodeIntervalQualifier *day_to_second(MemHandle *mem)
{
    auto *q = static_cast<NodeIntervalQualifier *>(newNode(sizeof(NodeIntervalQualifier), NODE_INTERVAL_QUALIFIER, mem));
    q->start = static_cast<NodeIntervalField *>(newNode(sizeof(NodeIntervalField), NODE_INTERVAL_FIELD, mem));
    q->start->field = KV_FIELD_DAY;
    q->end = static_cast<NodeIntervalField *>(newNode(sizeof(NodeIntervalField), NODE_INTERVAL_FIELD, mem));
    q->end->field = KV_FIELD_SECOND_END;
    return q;
}

// A literal constructor: success is a value, failure NULL.
EntryPoint literal(const char *name, std::function<Value *(World &)> make)
{
    return {name, [](World &) {}, [make](World &w) { return make(w) != nullptr; }, nothing};
}

std::vector<EntryPoint> entry_points()
{
    const std::string long_text(300, 'x');
    return {
        {"kv_mem_alloc_handle", [](World &) {}, [](World &w) { return kv_mem_alloc_handle(w.mem) != nullptr; }, nothing},
        {"kv_mem_alloc", [](World &) {}, [](World &w) { return kv_mem_alloc(w.mem, 100) != nullptr; }, nothing},
        {"kv_mem_alloc_ex", [](World &) {},
         [](World &w) { return kv_mem_alloc_ex(w.mem, 100, [](void *) {}) != nullptr; }, nothing},
        {"kv_mem_alloc_node", [](World &) {}, [](World &w) { return kv_mem_alloc_node(w.mem, 160, 7) != nullptr; },
         nothing},
        {"newNode", [](World &) {},
         [](World &w) { return newNode(sizeof(NodeExpression), NODE_EXPRESSION, w.mem) != nullptr; }, nothing},
        {"string_duplicate", [](World &) {}, [](World &w) { return string_duplicate("text", w.mem) != nullptr; },
         nothing},
        {"CreateErrorHeader", [](World &) {}, [](World &w) { return CreateErrorHeader(w.mem, nullptr) != nullptr; },
         nothing},
        // A record whose message could not be copied is posted all the same
        // (the message reads as ""), so success is a record more.
        {"PostError", [](World &) {},
         [](World &w) {
             int before = w.header->record_count;
             PostError(w.header, 2, 0, nullptr, 7, 0, "ISO 9075", "HY000", "General error: %s", "detail");
             return w.header->record_count == before + 1;
         },
         [](World &w) { return std::to_string(w.header->record_count); }},
        {"PostDalError", [](World &) {},
         [](World &w) {
             int before = w.header->record_count;
             PostDalError(&w.stmt, "Kestrova", 1, "08001", "unable to connect");
             return w.header->record_count == before + 1;
         },
         [](World &w) { return std::to_string(w.header->record_count); }},
        {"NewValue (record only)", [](World &) {}, [](World &w) { return NewValue(w.mem, 0) != nullptr; }, nothing},
        {"NewValue (inline data)", [](World &) {}, [](World &w) { return NewValue(w.mem, 50) != nullptr; }, nothing},
        {"NewValue (long data)", [](World &) {}, [](World &w) { return NewValue(w.mem, 500) != nullptr; }, nothing},
        {"duplicate_value", [long_text](World &w) { w.value = string_value(w.mem, long_text); },
         [](World &w) { return duplicate_value(w.other, w.value) != nullptr; },
         [](World &w) { return std::string(w.value->data.s) + std::to_string(w.value->ref_count); }},
        {"duplicate_value_ex", [long_text](World &w) { w.value = string_value(w.mem, long_text); },
         [](World &w) { return duplicate_value_ex(w.other, w.value) != nullptr; },
         [](World &w) { return std::string(w.value->data.s) + std::to_string(w.value->ref_count); }},
        literal("MakeLiteral string", [](World &w) { return MakeLiteral(KV_LITERAL_STRING, "'it''s'", w.mem); }),
        literal("MakeLiteral long string",
                [long_text](World &w) { return MakeLiteral(KV_LITERAL_STRING, ("'" + long_text + "'").c_str(), w.mem); }),
        literal("MakeLiteral bit", [](World &w) { return MakeLiteral(KV_LITERAL_BIT, "B'1'", w.mem); }),
        literal("MakeLiteral hex", [](World &w) { return MakeLiteral(KV_LITERAL_HEX, "X'0A1F'", w.mem); }),
        literal("MakeLiteral date", [](World &w) { return MakeLiteral(KV_LITERAL_DATE, "{d'2026-12-11'}", w.mem); }),
        literal("MakeLiteral time", [](World &w) { return MakeLiteral(KV_LITERAL_TIME, "{t'10:11:12'}", w.mem); }),
        literal("MakeLiteral timestamp",
                [](World &w) { return MakeLiteral(KV_LITERAL_TIMESTAMP, "{ts'2026-12-11 10:11:12.5'}", w.mem); }),
        literal("MakeLiteral user", [](World &w) { return MakeLiteral(KV_LITERAL_USER, "", w.mem); }),
        literal("MakeNumeric", [](World &w) { return MakeNumeric("123456789012", "345", w.mem); }),
        literal("MakeInteger", [](World &w) { return MakeInteger("42", w.mem); }),
        literal("MakeFloat", [](World &w) { return MakeFloat("1.5e3", w.mem); }),
        literal("MakeNull", [](World &w) { return MakeNull(w.mem); }),
        literal("MakeLiteralWithPrec", [](World &w) { return MakeLiteralWithPrec(10, "", 3, w.mem); }),
        {"MakeDynamic", [](World &) {}, [](World &w) { return MakeDynamic(1, w.mem) != nullptr; }, nothing},
        {"MakeInterval", [](World &w) { w.result = day_to_second(w.mem); },
         [](World &w) {
             IntervalParts parts{};
             parts.day = 3;
             parts.first_number = 4;
             parts.second_number = 5;
             parts.count = 2;
             parts.has_day = 1;
             return MakeInterval('+', &parts, static_cast<NodeIntervalQualifier *>(w.result), w.mem) != nullptr;
         },
         nothing},
        {"ListAppend", [](World &w) { w.result = ListAppend(w.mem, nullptr, w.mem); },
         [](World &w) { return ListAppend(w.other, static_cast<List *>(w.result), w.mem) != nullptr; },
         [](World &w) { return std::to_string(ListCount(static_cast<List *>(w.result))); }},
        {"parse_connection_string", [](World &) {},
         [](World &w) {
             int rc = parse_connection_string(&w.list, w.mem, "DSN=a;UID=b;PWD={x;y}", SQL_NTS, 0);
             EXPECT_TRUE(rc == 0 || w.list.count == 0);
             return rc == 0;
         },
         [](World &w) { return pairs_text(&w.list); }},
        {"append_pair", [](World &w) { parse_connection_string(&w.list, w.mem, "DSN=a", SQL_NTS, 0); },
         [](World &w) { return append_pair(&w.list, "uid", "bob", w.mem) == 0; },
         [](World &w) { return pairs_text(&w.list); }},
        {"merge_connection_string",
         [](World &w) {
             parse_connection_string(&w.list, w.mem, "DSN=a;UID=b", SQL_NTS, 0);
             auto *source = static_cast<AttributeList *>(kv_mem_alloc(w.mem, sizeof(AttributeList)));
             init_con_str(source);
             parse_connection_string(source, w.mem, "UID=c;PWD=d", SQL_NTS, 0);
             w.result = source;
         },
         [](World &w) {
             int rc = merge_connection_string(&w.list, static_cast<AttributeList *>(w.result), w.mem);
             std::string now = pairs_text(&w.list);
             // The source's pairs in order: UID=c, PWD=d, DSN=DEFAULT.
             EXPECT_TRUE(now == "DSN=a;UID=b;" || now == "DSN=a;UID=c;" || now == "DSN=a;UID=c;PWD=d;" ||
                         now == "DSN=DEFAULT;UID=c;PWD=d;")
                 << now;
             return rc == 0;
         },
         nothing, true},
        {"modify_connection_string", [](World &w) { parse_connection_string(&w.list, w.mem, "DSN=a;UID=b", SQL_NTS, 0); },
         [](World &w) { return modify_connection_string(&w.list, "UID", "carol", w.mem) == 0; },
         [](World &w) { return pairs_text(&w.list); }},
        {"change_connection_string", [](World &w) { parse_connection_string(&w.list, w.mem, "DSN=a;UID=b", SQL_NTS, 0); },
         [](World &w) { return change_connection_string(&w.list, "UID", "USER", w.mem) == 0; },
         [](World &w) { return pairs_text(&w.list); }},
        {"replace_connection_string", [](World &w) { parse_connection_string(&w.list, w.mem, "DSN=a;UID=b", SQL_NTS, 0); },
         [](World &w) { return replace_connection_string(&w.list, "UID", "USER", w.mem) == 0; },
         [](World &w) { return pairs_text(&w.list); }},
        {"generate_cursor_name", [](World &) {}, [](World &w) { return generate_cursor_name(&w.stmt) == 0; },
         // The counter may have moved on: names skip a number, never repeat.
         [](World &w) { return std::string(w.stmt.cursor_name); }},
        {"insert_cursor_name", [](World &) {}, [](World &w) { return insert_cursor_name(&w.stmt, "orders") == 0; },
         [](World &w) {
             return std::string(w.stmt.cursor_name) + (get_stmt_by_cursor(&w.stmt, "orders") ? "+" : "-");
         }},
        {"kv_make_hash_table", [](World &) {},
         [](World &w) { return (w.table = kv_make_hash_table(64)) != nullptr; }, nothing},
        {"kv_add_hash_item", [](World &w) { w.table = kv_make_hash_table(64); kv_add_hash_item("one", w.table); },
         [](World &w) { return kv_add_hash_item("two", w.table) != nullptr; },
         [](World &w) {
             return std::string(kv_find_hash_item("one", w.table) ? "one" : "") +
                    (kv_find_hash_item("two", w.table) ? "two" : "");
         }},
        {"allocate_long_buffer", [](World &) {},
         [](World &w) { return allocate_long_buffer(w.mem, 1, 2, w.registry, SQL_LONGVARCHAR) != nullptr; },
         [](World &w) { return std::to_string(std::distance(fs::directory_iterator(w.directory), {})); }},
        {"clone_long_buffer",
         [](World &w) {
             w.buffer = allocate_long_buffer(w.mem, 1, 2, w.registry, SQL_LONGVARCHAR);
             append_to_long_buffer(w.buffer, "long data", SQL_NTS);
         },
         [](World &w) { return clone_long_buffer(w.buffer, w.other) != nullptr; },
         [](World &w) { return std::to_string(long_buffer_length(w.buffer)); }},
        {"open_registry", [](World &) {},
         [](World &) {
             Registry *r = open_registry();
             close_registry(r);
             return r != nullptr;
         },
         nothing},
        {"get_profile_string", [](World &w) { set_config(w.registry, w.profile.c_str()); },
         [](World &w) {
             char buffer[64];
             int rc = get_profile_string(w.registry, 2, "MyDSN", "Database", "dflt", buffer, sizeof buffer);
             EXPECT_STREQ(buffer, rc == 0 ? "/old" : "dflt");
             return rc == 0;
         },
         nothing},
        {"get_default", [](World &) {},
         [](World &w) {
             char buffer[256];
             get_default(w.registry, "blob_path", buffer, sizeof buffer);
             return buffer == w.directory;
         },
         nothing},
        {"_log_message",
         [](World &w) {
             std::ofstream(w.profile) << "{settings}\nlog_file = " << w.directory << "/trace.log\n";
             set_config(w.registry, w.profile.c_str());
             kv_test_trace_recheck();
         },
         [long_text](World &w) {
             return trace(w.registry, "SQLExecDirect(%p, %S) = %e", static_cast<void *>(w.mem), long_text.c_str(),
                          SQL_NTS, 0) == 0;
         },
         [](World &w) { return read_file(w.directory + "/trace.log"); }},
        {"set_profile_string", [](World &) {},
         [](World &w) { return set_profile_string(w.registry, 2, "MyDSN", "Database", "/new") == 0; },
         [](World &w) { return read_file(w.profile); }},
    };
}

// Runs `call` with its nth system allocation failing; *reached tells whether
// it asked for that many.
bool call_failing(const EntryPoint &e, World &w, long nth, bool *reached)
{
    long made = kv_test_allocation_count();
    kv_test_empty_caches(); // every block the call takes comes from the system
    kv_test_fail_allocation(nth);
    bool ok = e.call(w);
    // A probe with the injection still armed: it fails exactly when the
    // call stopped one allocation short of the failing one.
    void *probe = kv_sys_malloc(1);
    long asked = kv_test_allocation_count() - made - (probe ? 1 : 0);
    kv_test_fail_allocation(0);
    kv_sys_free(probe);
    *reached = probe && asked >= nth - 1;
    return ok;
}

TEST(AllocationFailure, EveryEntryPointFailsCleanlyUntilItSucceeds)
{
    long live_at_start = kv_test_live_blocks();
    for (const EntryPoint &e : entry_points()) {
        SCOPED_TRACE(e.name);
        bool succeeded = false;
        long nth = 1;
        for (; !succeeded && nth < 200; nth++) {
            SCOPED_TRACE("allocation " + std::to_string(nth) + " failing");
            World w;
            e.prepare(w);
            std::string before = e.observe(w);
            long live = kv_test_live_blocks();
            bool reached;
            bool ok = call_failing(e, w, nth, &reached);
            if (!ok) {
                EXPECT_TRUE(reached) << "failed with no allocation failing";
            }
            if (!ok && !e.keeps_partial_work) {
                EXPECT_EQ(kv_test_live_blocks(), live) << "a failed call kept blocks";
                EXPECT_EQ(e.observe(w), before) << "a failed call changed what it was given";
            }
            succeeded = ok && !reached;
        }
        EXPECT_TRUE(succeeded) << "never succeeded";
    }
    EXPECT_EQ(kv_test_live_blocks(), live_at_start);
}

// One call of a scalar function on arguments of its classes, with the nth
// allocation failing (0: none): how it ended, and whether the failure was
// reached.
struct FunctionOutcome {
    bool left = false;      // through the error exit
    bool value = false;     // a result was returned
    std::string sqlstate;   // of the diagnostic the exit posted
    bool reached = false;
};

// The call under the error exit; nothing in this frame changes after the
// setjmp, so the jump back clobbers nothing.
Value *call_guarded(const FunctionEntry *entry, EvalContext *context, int argc, Value **argv, bool *left)
{
    *left = false;
    if (setjmp(context->jump) != 0) {
        *left = true;
        return nullptr;
    }
    return execute_function(entry, context, argc, argv, 0, nullptr);
}

FunctionOutcome run_function(const FunctionEntry *entry, int argc, long nth)
{
    World w;
    Value *argv[KV_FN_MAX_ARGS] = {};
    for (int i = 0; i < argc; i++) {
        uint32_t cls = entry->arg_types[i];
        if (cls & (KV_FN_STRING | KV_FN_STRING2))
            argv[i] = string_value(w.mem, "Sample text");
        else if (cls & KV_FN_DATE)
            argv[i] = MakeLiteral(KV_LITERAL_TIMESTAMP, "{ts'2026-12-11 10:11:12'}", w.mem);
        else if (cls & KV_FN_NUMERIC)
            argv[i] = MakeFloat("0.5", w.mem);
        else
            argv[i] = MakeInteger("2", w.mem);
    }
    FunctionOutcome outcome;
    kv_test_empty_caches();
    long made = kv_test_allocation_count();
    kv_test_fail_allocation(nth);
    Value *result = call_guarded(entry, &w.context, argc, argv, &outcome.left);
    void *probe = kv_sys_malloc(1);
    long asked = kv_test_allocation_count() - made - (probe ? 1 : 0);
    kv_test_fail_allocation(0);
    kv_sys_free(probe);
    outcome.reached = nth > 0 && probe && asked >= nth - 1;
    outcome.value = result != nullptr;
    if (outcome.left) {
        char state[6] = "";
        GetDiagRec(w.header, w.header->record_count, state, nullptr, nullptr, 0, nullptr);
        outcome.sqlstate = state;
    }
    return outcome;
}

// Every scalar function with each allocation failing in turn: the call
// ends as it does with memory to spare, or leaves through the error exit
// with HY001 (with no diagnostic when even that found no memory), or gives
// no value; no block outlives the statement's handle.
TEST(AllocationFailure, EveryScalarFunction)
{
    long live_at_start = kv_test_live_blocks();
    for (int32_t id = 0; id <= 68; id++) {
        const FunctionEntry *entry = sql92_get_function_info(id);
        if (!entry || id == 11 || id == 28) // CONVERT and IFNULL make no value of their own
            continue;
        SCOPED_TRACE(entry->name);
        int32_t low = 0, high = 0;
        sql92_get_function_arg_range(id, &low, &high);
        FunctionOutcome spare = run_function(entry, high, 0);
        for (long nth = 1; nth < 200; nth++) {
            SCOPED_TRACE("allocation " + std::to_string(nth) + " failing");
            FunctionOutcome failing = run_function(entry, high, nth);
            EXPECT_EQ(kv_test_live_blocks(), live_at_start);
            if (!failing.reached) {
                EXPECT_EQ(failing.left, spare.left);
                EXPECT_EQ(failing.value, spare.value);
                EXPECT_EQ(failing.sqlstate, spare.sqlstate);
                break;
            }
            bool as_with_memory = failing.left == spare.left && failing.value == spare.value &&
                                  failing.sqlstate == spare.sqlstate;
            // The exit posts nothing when the record itself found no memory.
            bool out_of_memory = failing.left && (failing.sqlstate == "HY001" || failing.sqlstate.empty());
            EXPECT_TRUE(as_with_memory || out_of_memory || (!failing.left && !failing.value))
                << "failing: " << failing.left << failing.value << failing.sqlstate << " spare: " << spare.left
                << spare.value << spare.sqlstate;
        }
    }
}

} // namespace
