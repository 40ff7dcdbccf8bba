// Builds parse trees as a driver's parser does: nodes from newNode on one
// handle, literals from the library's constructors, texts copied to the
// handle. Shared by the printer's tests and its benchmark.
#ifndef KV_TESTS_TREE_BUILDER_H
#define KV_TESTS_TREE_BUILDER_H

#include <initializer_list>
#include <new>
#include <string>
#include <vector>

#include "internal.h"

namespace kvtest {

// Appends every piece to a std::string (the context).
inline int append_piece(const char *text, void *context)
{
    static_cast<std::string *>(context)->append(text);
    return 0;
}

// Keeps every piece apart (the context is a std::vector<std::string>).
inline int record_piece(const char *text, void *context)
{
    static_cast<std::vector<std::string> *>(context)->emplace_back(text);
    return 0;
}

class TreeBuilder {
public:
    explicit TreeBuilder(MemHandle *mem) : mem_(mem) {}

    template <class T> T *make(NodeKind kind)
    {
        auto *node = static_cast<T *>(newNode(sizeof(T), kind, mem_));
        if (!node)
            throw std::bad_alloc();
        return node;
    }

    static Node *N(const void *node) { return static_cast<Node *>(const_cast<void *>(node)); }

    // ---- names
    NodeIdentifier *id(const char *text, bool quoted = false)
    {
        auto *n = make<NodeIdentifier>(NODE_IDENTIFIER);
        n->text = string_duplicate(text, mem_);
        n->quoted = quoted;
        return n;
    }
    NodeTableName *table(const char *name, const char *qualifier = nullptr)
    {
        auto *n = make<NodeTableName>(NODE_TABLE_NAME);
        n->table = N(id(name));
        n->qualifier2 = qualifier ? N(id(qualifier)) : nullptr;
        return n;
    }
    NodeColumnName *col(const char *column, const char *table = nullptr)
    {
        auto *n = make<NodeColumnName>(NODE_COLUMN_NAME);
        n->column = N(id(column));
        n->table = table ? N(id(table)) : nullptr;
        return n;
    }
    NodeList *list(std::initializer_list<const void *> items = {})
    {
        auto *n = make<NodeList>(NODE_LIST);
        for (const void *item : items)
            n->items = append(n->items, item);
        return n;
    }
    List *append(List *list, const void *item)
    {
        List *result = ListAppend(const_cast<void *>(item), list, mem_);
        if (!result || ListLast(result)->data != item)
            throw std::bad_alloc();
        return result;
    }
    NodeList *add(NodeList *list, const void *item)
    {
        list->items = append(list->items, item);
        return list;
    }

    // ---- values
    Value *value(int type)
    {
        auto *v = make<Value>(NODE_VALUE);
        v->type = type;
        return v;
    }
    Value *integer(int i)
    {
        Value *v = value(VT_INTEGER);
        v->data.i = i;
        return v;
    }
    Value *real(double d)
    {
        Value *v = value(VT_DOUBLE);
        v->data.d = d;
        return v;
    }
    // `text` is the literal as written, apostrophes included.
    Value *str(const char *text) { return MakeLiteral(KV_LITERAL_STRING, text, mem_); }
    Value *literal(int code, const char *text) { return MakeLiteral(code, text, mem_); }
    NodeParameter *param(int number) { return MakeDynamic(number, mem_); }

    // ---- expressions
    NodeExpression *expr(intptr_t cls, intptr_t op, const void *left, const void *right)
    {
        auto *n = make<NodeExpression>(NODE_EXPRESSION);
        n->expression_class = cls;
        n->operator_code = op;
        n->left = N(left);
        n->right = N(right);
        return n;
    }
    NodeExpression *cmp(intptr_t op, const void *left, const void *right)
    {
        return expr(KV_EXPR_OPERATOR, op, left, right);
    }
    NodeExpression *marked(intptr_t op, const void *left, const void *right)
    {
        NodeExpression *n = cmp(op, left, right);
        n->print_as_true = 1;
        return n;
    }
    NodeExpression *both(const void *a, const void *b) { return expr(KV_EXPR_AND, 0, a, b); }
    NodeExpression *either(const void *a, const void *b) { return expr(KV_EXPR_OR, 0, a, b); }
    NodeExpression *negation(const void *a) { return expr(KV_EXPR_NOT, 0, nullptr, a); }

    // ---- queries
    NodeTableRef *ref(const char *name, const char *correlation = nullptr)
    {
        auto *n = make<NodeTableRef>(NODE_TABLE_REF);
        n->table = N(table(name));
        n->correlation = correlation ? N(id(correlation)) : nullptr;
        return n;
    }
    NodeSelectItem *item(const void *expression, const char *alias = nullptr)
    {
        auto *n = make<NodeSelectItem>(NODE_SELECT_ITEM);
        n->expression = N(expression);
        n->alias = alias ? N(id(alias)) : nullptr;
        return n;
    }
    // SELECT items FROM from [WHERE where]; NULL items means *.
    NodeQuerySpec *select(NodeList *items, NodeList *from, const void *where = nullptr)
    {
        auto *n = make<NodeQuerySpec>(NODE_QUERY_SPEC);
        n->select_list = items;
        n->from = from;
        n->where = N(where);
        return n;
    }
    // SELECT * FROM name
    NodeQuerySpec *all_of(const char *name) { return select(nullptr, list({ref(name)})); }
    NodeQualifiedJoin *join(const void *left, intptr_t join_class, intptr_t join_type, const void *right,
                            const void *condition)
    {
        auto *n = make<NodeQualifiedJoin>(NODE_QUALIFIED_JOIN);
        n->left = N(left);
        n->join_class = join_class;
        n->join_type = join_type;
        n->right = N(right);
        n->condition = N(condition);
        return n;
    }

    // ---- data definition
    NodeDataType *type(intptr_t sql_type, intptr_t length = 0, intptr_t fraction = 0,
                       NodePrecision *precision = nullptr)
    {
        auto *n = make<NodeDataType>(NODE_DATA_TYPE);
        n->sql_type = sql_type;
        n->length = length;
        n->fraction_precision = fraction;
        n->precision_node = precision;
        return n;
    }
    NodePrecision *precision(intptr_t precision, intptr_t scale = 0)
    {
        auto *n = make<NodePrecision>(NODE_PRECISION);
        n->precision = precision;
        n->scale = scale;
        return n;
    }
    NodeColumnDef *column_def(const char *name, NodeDataType *type, NodeList *constraints = nullptr,
                              bool quoted = false)
    {
        auto *n = make<NodeColumnDef>(NODE_COLUMN_DEF);
        n->column = N(id(name, quoted));
        n->type = N(type);
        n->constraints = constraints;
        return n;
    }
    NodeColumnConstraint *constraint(intptr_t code, const void *operand = nullptr)
    {
        auto *n = make<NodeColumnConstraint>(NODE_COLUMN_CONSTRAINT);
        n->constraint = code;
        if (code == KV_COLUMN_CHECK)
            n->check = N(operand);
        else if (code == KV_COLUMN_DEFAULT)
            n->default_value = N(operand);
        else if (code == KV_COLUMN_REFERENCES)
            n->ref_table = N(operand);
        return n;
    }

    // One WHEN ... THEN ... of a CASE.
    NodeWhenClause *when(const void *condition, const void *result)
    {
        auto *n = make<NodeWhenClause>(NODE_WHEN_CLAUSE);
        n->condition = N(condition);
        n->result = N(result);
        return n;
    }

    MemHandle *mem() const { return mem_; }

private:
    MemHandle *mem_;
};

} // namespace kvtest

#endif
