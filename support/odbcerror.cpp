/*
** Diagnostic records. An ErrorHeader holds the records of one driver handle
** in posting order, each with its strings on the header's MemHandle. States
** are mapped to ODBC 2 through map_table when the header's application did
** not declare ODBC 3 behaviour. Also the error exit of an evaluation.
*/
#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "internal.h"

extern "C" const char *const map_table[][2] = {
    {"01001", "01S03"}, {"HY019", "22003"}, {"22007", "22008"}, {"22018", "22005"},
    {"07005", "24000"}, {"07008", "S1000"}, {"07009", "S1002"}, {"42000", "37000"},
    {"HY018", "70100"}, {"42S01", "S0001"}, {"42S02", "S0002"}, {"42S11", "S0011"},
    {"42S12", "S0012"}, {"42S21", "S0021"}, {"42S22", "S0022"}, {"42S23", "S0023"},
    {"HY000", "S1000"}, {"HY001", "S1001"}, {"HY003", "S1003"}, {"HY004", "S1004"},
    {"HY008", "S1008"}, {"HY009", "S1009"}, {"HY024", "S1009"}, {"HY092", "S1009"},
    {"HY007", "S1010"}, {"HY010", "S1010"}, {"HY011", "S1011"}, {"HY012", "S1012"},
    {"HY090", "S1090"}, {"HY091", "S1091"}, {"HY096", "S1096"}, {"HY097", "S1097"},
    {"HY098", "S1098"}, {"HY099", "S1099"}, {"HY100", "S1100"}, {"HY101", "S1101"},
    {"HY103", "S1103"}, {"HY104", "S1104"}, {"HY105", "S1105"}, {"HY106", "S1106"},
    {"HY107", "S1107"}, {"HY108", "S1108"}, {"HY109", "S1109"}, {"HY110", "S1110"},
    {"HY111", "S1111"}, {"HYC00", "S1C00"}, {"HYT00", "S1T00"}, {nullptr, nullptr},
};

namespace {

constexpr const char *kServerName = "Kestrova ODBC 3.0";

const char *odbc2_state(const char *sqlstate)
{
    if (!sqlstate)
        return sqlstate;
    for (int i = 0; map_table[i][0]; i++)
        if (std::strcmp(map_table[i][0], sqlstate) == 0)
            return map_table[i][1];
    return sqlstate;
}

void free_records(ErrorHeader *header)
{
    MemHandle *mem = header->mem;
    ErrorRecord *record = header->first_record;
    while (record) {
        ErrorRecord *next = record->next;
        kv_mem_free(mem, record->vendor);
        kv_mem_free(mem, record->message);
        kv_mem_free(mem, record->sqlstate);
        kv_mem_free(mem, record->subclass_origin);
        kv_mem_free(mem, record);
        record = next;
    }
    header->first_record = nullptr;
    header->last_record = nullptr;
    header->record_count = 0;
}

// "[vendor]" followed by the expanded format, cut at KV_MESSAGE_MAX
// characters. The vendor text is copied, never read as a format.
KV_PRINTF_LIKE(3, 0) void compose_message(char (&message)[KV_MESSAGE_MAX + 1], const char *vendor, const char *format,
                     va_list arguments)
{
    std::size_t used = 0;
    message[0] = '\0';
    if (vendor) {
        int n = std::snprintf(message, sizeof message, "[%s]", vendor);
        used = n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), KV_MESSAGE_MAX);
    }
    if (format && used < KV_MESSAGE_MAX)
        std::vsnprintf(message + used, sizeof message - used, format, arguments);
}

void append_record(ErrorHeader *header, ErrorRecord *record)
{
    if (header->last_record)
        header->last_record->next = record;
    else
        header->first_record = record;
    header->last_record = record;
    header->record_count++;
}

ErrorRecord *record_at(ErrorHeader *header, int record_number)
{
    ErrorRecord *record = header->first_record;
    for (int i = 1; record && i < record_number; i++)
        record = record->next;
    return record;
}

int numeric_field(void *value, int32_t number)
{
    if (value)
        std::memcpy(value, &number, sizeof number);
    return SQL_SUCCESS;
}

// The fields ODBC types as SQLLEN (the row counts) take a whole SQLLEN.
int length_field(void *value, SQLLEN number)
{
    if (value)
        std::memcpy(value, &number, sizeof number);
    return SQL_SUCCESS;
}

// Every version from ODBC 3.0 on (SQL_OV_ODBC3 3, SQL_OV_ODBC3_80 380) is ODBC 3.
bool is_odbc3(int odbc_version)
{
    return odbc_version >= 3;
}

int text_field(void *value, int buffer_length, int16_t *string_length, const char *text)
{
    return copy_str_buffer(static_cast<char *>(value), buffer_length, string_length, text);
}

// A field of one record, or -1 when it is not a record field.
int record_field(ErrorRecord *record, int field, void *value, int buffer_length, int16_t *string_length)
{
    switch (field) {
    case SQL_DIAG_SQLSTATE:
        return text_field(value, buffer_length, string_length, record->sqlstate);
    case SQL_DIAG_NATIVE:
        return numeric_field(value, record->native_error);
    case SQL_DIAG_MESSAGE_TEXT:
        return text_field(value, buffer_length, string_length, record->message);
    case SQL_DIAG_CLASS_ORIGIN:
        return text_field(value, buffer_length, string_length, record->origin == 1 ? "ODBC 3.0" : "ISO 9075");
    case SQL_DIAG_SUBCLASS_ORIGIN:
        return text_field(value, buffer_length, string_length, record->subclass_origin);
    case SQL_DIAG_CONNECTION_NAME:
        return text_field(value, buffer_length, string_length, record->vendor);
    case SQL_DIAG_SERVER_NAME:
        return text_field(value, buffer_length, string_length, kServerName);
    case SQL_DIAG_ROW_NUMBER:
        return numeric_field(value, record->row_number);
    case SQL_DIAG_COLUMN_NUMBER:
        return numeric_field(value, record->column_number);
    default:
        return SQL_ERROR;
    }
}

bool is_record_field(int field)
{
    switch (field) {
    case SQL_DIAG_SQLSTATE:
    case SQL_DIAG_NATIVE:
    case SQL_DIAG_MESSAGE_TEXT:
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
    case SQL_DIAG_ROW_NUMBER:
    case SQL_DIAG_COLUMN_NUMBER:
        return true;
    default:
        return false;
    }
}

// A header field, or -1 when the field is unknown or needs ODBC 3.
int header_field(int odbc_version, ErrorHeader *header, int field, void *value, int buffer_length,
                 int16_t *string_length)
{
    switch (field) {
    case SQL_DIAG_RETURNCODE:
        return numeric_field(value, header->return_code);
    case SQL_DIAG_NUMBER:
        return numeric_field(value, header->record_count);
    default:
        break;
    }
    if (!is_odbc3(odbc_version))
        return SQL_ERROR;
    switch (field) {
    case SQL_DIAG_ROW_COUNT:
        return length_field(value, header->row_count);
    case SQL_DIAG_DYNAMIC_FUNCTION:
        return text_field(value, buffer_length, string_length,
                          function_string(header->dynamic_function_code));
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
        return numeric_field(value, header->dynamic_function_code);
    case SQL_DIAG_CURSOR_ROW_COUNT:
        return length_field(value, 0);
    default:
        return SQL_ERROR;
    }
}

ErrorHeader *header_of_record(void *driver_record)
{
    switch (static_cast<DriverHandle *>(driver_record)->kind) {
    case KV_KIND_ENVIRONMENT:
        return static_cast<DriverEnvironment *>(driver_record)->error_header;
    case KV_KIND_CONNECTION:
        return static_cast<DriverConnection *>(driver_record)->error_header;
    case KV_KIND_STATEMENT:
        return static_cast<DriverStatement *>(driver_record)->error_header;
    default:
        return nullptr;
    }
}

} // namespace

void kv_eval_error(EvalContext *context, int origin, const char *subclass_origin, const char *sqlstate,
                   const char *message)
{
    ErrorHeader *header = context->stmt ? context->stmt->error_header : nullptr;
    if (header) {
        SetReturnCode(header, SQL_ERROR);
        PostError(header, origin, 0, nullptr, 0, 0, subclass_origin, sqlstate, "%s", message ? message : "");
    }
    context->status = -1;
    std::longjmp(context->jump, -1);
}

extern "C" {

ErrorHeader *CreateErrorHeader(MemHandle *handle, DriverEnvironment *environment)
{
    auto *header = static_cast<ErrorHeader *>(newNode(sizeof(ErrorHeader), KV_NODE_ERROR_HEADER, handle));
    if (!header)
        return nullptr;
    header->dynamic_function_code = 0; // newNode's kind word is the function code from now on
    header->mem = handle;
    header->odbc_version = environment ? environment->odbc_version : 3;
    return header;
}

void SetupErrorHeader(ErrorHeader *header, int dynamic_function_code)
{
    if (!header)
        return;
    free_records(header);
    header->return_code = 0;
    header->row_count = 0;
    header->dynamic_function_code = dynamic_function_code;
}

void FreeErrorHeader(ErrorHeader *header)
{
    if (!header)
        return;
    free_records(header);
    kv_mem_free(header->mem, header);
}

int16_t SetReturnCode(ErrorHeader *header, int code)
{
    if (header)
        header->return_code = code;
    return static_cast<int16_t>(code);
}

void SetErrorCount(ErrorHeader *header, int count)
{
    if (header)
        header->row_count = count;
}

char *PostError(ErrorHeader *header, int origin, int column_number, const char *vendor, int native_error,
                int row_number, const char *subclass_origin, const char *sqlstate, const char *format, ...)
{
    if (!header)
        return nullptr;
    if (!is_odbc3(header->odbc_version))
        sqlstate = odbc2_state(sqlstate);
    MemHandle *mem = header->mem;
    auto *record = static_cast<ErrorRecord *>(newNode(sizeof(ErrorRecord), KV_NODE_ERROR_RECORD, mem));
    if (!record)
        return nullptr;
    record->origin = origin;
    record->column_number = column_number;
    record->native_error = native_error;
    record->row_number = row_number;
    record->vendor = string_duplicate(vendor ? vendor : KV_DEFAULT_VENDOR, mem);
    record->sqlstate = string_duplicate(sqlstate, mem);
    record->subclass_origin = string_duplicate(subclass_origin, mem);

    char message[KV_MESSAGE_MAX + 1];
    va_list arguments;
    va_start(arguments, format);
    compose_message(message, record->vendor, format, arguments);
    va_end(arguments);
    record->message = string_duplicate(message, mem);

    append_record(header, record);
    return record->message;
}

void PostDalError(void *driver_record, const char *vendor, int native_error, const char *sqlstate,
                  const char *message)
{
    ErrorHeader *header = driver_record ? header_of_record(driver_record) : nullptr;
    if (!header)
        return;
    header->return_code = SQL_ERROR;
    PostError(header, 2, 0, vendor, native_error, 0, kv_subclass_iso, sqlstate, "%s", message ? message : "");
}

int GetDiagRec(ErrorHeader *header, int record_number, char *sqlstate, int32_t *native_error, char *message,
               int buffer_length, int16_t *message_length)
{
    if (!header)
        return SQL_ERROR;
    if (record_number > header->record_count)
        return SQL_NO_DATA;
    if (record_number <= 0)
        return SQL_ERROR;
    ErrorRecord *record = record_at(header, record_number);
    if (sqlstate)
        copy_str_buffer(sqlstate, SQL_SQLSTATE_SIZE + 1, nullptr, record->sqlstate);
    if (native_error)
        *native_error = record->native_error;
    return copy_str_buffer(message, buffer_length, message_length, record->message);
}

int GetDiagField(int odbc_version, ErrorHeader *header, int record_number, int field_identifier, void *value,
                 int buffer_length, int16_t *string_length)
{
    if (!header)
        return SQL_ERROR;
    if (record_number > header->record_count)
        return SQL_NO_DATA;
    if (record_number < 0)
        return SQL_ERROR;
    if (!is_record_field(field_identifier))
        return header_field(odbc_version, header, field_identifier, value, buffer_length, string_length);
    if (record_number == 0)
        return SQL_ERROR;
    return record_field(record_at(header, record_number), field_identifier, value, buffer_length,
                        string_length);
}

} // extern "C"
