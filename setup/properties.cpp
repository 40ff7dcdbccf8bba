/*
** unixODBC's property list (odbcinstext.h): the installer's configuration
** tools call ODBCINSTGetProperties to learn the data source's attributes and
** then read and write odbc.ini themselves. The installer makes the Name,
** Description and Driver properties and frees the whole list later with
** free(), possibly after it has unloaded this module: every node, help text
** and choice array here comes from malloc, and a choice array carries its
** texts in the same block, after the pointers.
*/
#include <odbcinstext.h>

#include "attributes.h"

#include <cstdlib>
#include <cstring>

namespace fbsetup {
namespace {

const char *const yes_no[] = {"Yes", "No", nullptr};
const char *const three_items[] = {"1", "2", "3", nullptr};

// Copies the `count` texts of `items` into one block the installer frees
// with a single free(): the null-ended pointer array, then the texts.
char **prompt_data(const char *const *items, std::size_t count)
{
    std::size_t pointers = (count + 1) * sizeof(char *);
    std::size_t size = pointers;
    for (std::size_t i = 0; i < count; ++i) size += std::strlen(items[i]) + 1;
    auto **data = static_cast<char **>(std::malloc(size));
    if (!data) return nullptr;
    char *text = reinterpret_cast<char *>(data) + pointers;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t n = std::strlen(items[i]) + 1;
        data[i] = static_cast<char *>(std::memcpy(text, items[i], n));
        text += n;
    }
    data[count] = nullptr;
    return data;
}

void set_text(char *field, std::string_view text)
{
    std::size_t n = std::min<std::size_t>(text.size(), INI_MAX_PROPERTY_NAME);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// One property for the attribute `a` with its default value; null when memory
// runs out (nothing is left allocated then).
ODBCINSTPROPERTY *make_property(const Attribute &a)
{
    auto *p = static_cast<ODBCINSTPROPERTY *>(std::calloc(1, sizeof(ODBCINSTPROPERTY)));
    if (!p) return nullptr;
    set_text(p->szName, a.ini_key);
    p->pszHelp = strdup(a.help);
    switch (a.kind) {
    case Kind::text: p->nPromptType = ODBCINST_PROMPTTYPE_TEXTEDIT; break;
    case Kind::password: p->nPromptType = ODBCINST_PROMPTTYPE_TEXTEDIT_PASSWORD; break;
    case Kind::flag:
        p->nPromptType = ODBCINST_PROMPTTYPE_LISTBOX;
        p->aPromptData = prompt_data(yes_no, 2);
        set_text(p->szValue, "No");
        break;
    case Kind::choice:
        p->nPromptType = ODBCINST_PROMPTTYPE_LISTBOX;
        p->aPromptData = prompt_data(three_items, 3);
        set_text(p->szValue, a.control == dialect_menu ? "3" : "1");
        break;
    }
    bool complete = p->pszHelp && (p->nPromptType != ODBCINST_PROMPTTYPE_LISTBOX || p->aPromptData);
    if (complete) return p;
    std::free(p->aPromptData);
    std::free(p->pszHelp);
    std::free(p);
    return nullptr;
}

} // namespace
} // namespace fbsetup

using namespace fbsetup;

extern "C" {

// Appends one property per attribute after `last`, the installer's last
// property. Returns ODBCINST_SUCCESS, or ODBCINST_ERROR when memory ran out
// (the list then ends with the properties made so far).
FBSETUP_EXPORT int INSTAPI ODBCINSTGetProperties(HODBCINSTPROPERTY last)
{
    if (!last) return ODBCINST_ERROR;
    while (last->pNext) last = last->pNext;
    for (const Attribute &a : attribute_table) {
        if (!a.ini_key || std::strcmp(a.ini_key, "Description") == 0) continue;  // the installer's own
        ODBCINSTPROPERTY *p = make_property(a);
        if (!p) return ODBCINST_ERROR;
        last->pNext = p;
        last = p;
    }
    return ODBCINST_SUCCESS;
}

} // extern "C"
