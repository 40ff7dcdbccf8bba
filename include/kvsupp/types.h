/*
** Names of the records that libkvsupp shares with the driver. Each record is
** defined in the header of its module; this header lets every header name
** every record without including the others.
*/
#ifndef KVSUPP_TYPES_H
#define KVSUPP_TYPES_H

#include <sql.h>
#include <sqlext.h>

typedef struct List List;
typedef struct ListItem ListItem;
typedef struct ErrorHeader ErrorHeader;
typedef struct ErrorRecord ErrorRecord;
typedef struct DriverHandle DriverHandle;
typedef struct DriverEnvironment DriverEnvironment;
typedef struct DriverConnection DriverConnection;
typedef struct DriverStatement DriverStatement;
typedef struct EvalContext EvalContext;
typedef struct Value Value;
typedef struct FlatValue FlatValue;
typedef struct LongBuffer LongBuffer;
typedef struct AttributeList AttributeList;
typedef struct AttributePair AttributePair;
typedef struct Registry Registry;

/* Parse-tree nodes (nodes.h) and the parser's interval breakdown (parsehelp.h). */
typedef struct NodeAlterTableAdd NodeAlterTableAdd;
typedef struct NodeAlterTableDrop NodeAlterTableDrop;
typedef struct NodeCreateIndex NodeCreateIndex;
typedef struct NodeCreateTable NodeCreateTable;
typedef struct NodeCreateView NodeCreateView;
typedef struct NodeDeletePositioned NodeDeletePositioned;
typedef struct NodeDeleteSearched NodeDeleteSearched;
typedef struct NodeDropIndex NodeDropIndex;
typedef struct NodeDropTable NodeDropTable;
typedef struct NodeDropView NodeDropView;
typedef struct NodeGrant NodeGrant;
typedef struct NodeInsert NodeInsert;
typedef struct NodeRevoke NodeRevoke;
typedef struct NodeCursorSpec NodeCursorSpec;
typedef struct NodeForUpdate NodeForUpdate;
typedef struct NodeUpdatePositioned NodeUpdatePositioned;
typedef struct NodeUpdateSearched NodeUpdateSearched;
typedef struct NodeProcCall NodeProcCall;
typedef struct NodeCommit NodeCommit;
typedef struct NodeRollback NodeRollback;
typedef struct NodeQuerySpec NodeQuerySpec;
typedef struct NodeGroupedQuery NodeGroupedQuery;
typedef struct NodeUnion NodeUnion;
typedef struct NodeInsertSource NodeInsertSource;
typedef struct NodeTableRef NodeTableRef;
typedef struct NodeSetClause NodeSetClause;
typedef struct NodeOrderedColumn NodeOrderedColumn;
typedef struct NodeChoice NodeChoice;
typedef struct NodePrivilege NodePrivilege;
typedef struct NodeSelectItem NodeSelectItem;
typedef struct NodeSortSpec NodeSortSpec;
typedef struct NodeQualifiedJoin NodeQualifiedJoin;
typedef struct NodeTableName NodeTableName;
typedef struct NodeIdentifier NodeIdentifier;
typedef struct NodeColumnName NodeColumnName;
typedef struct NodePrecision NodePrecision;
typedef struct NodeIntervalQualifier NodeIntervalQualifier;
typedef struct NodeIntervalField NodeIntervalField;
typedef struct NodeCast NodeCast;
typedef struct NodeScalarFunction NodeScalarFunction;
typedef struct NodeSetFunction NodeSetFunction;
typedef struct NodeTrimSpec NodeTrimSpec;
typedef struct NodeExists NodeExists;
typedef struct NodeLike NodeLike;
typedef struct NodeNullTest NodeNullTest;
typedef struct NodeInPredicate NodeInPredicate;
typedef struct NodeQuantifiedComparison NodeQuantifiedComparison;
typedef struct NodeExpression NodeExpression;
typedef struct NodeList NodeList;
typedef struct NodeParameter NodeParameter;
typedef struct NodeCase NodeCase;
typedef struct NodeNullif NodeNullif;
typedef struct NodeCoalesce NodeCoalesce;
typedef struct NodeWhenClause NodeWhenClause;
typedef struct NodeColumnDef NodeColumnDef;
typedef struct NodeDataType NodeDataType;
typedef struct NodeColumnConstraint NodeColumnConstraint;
typedef struct NodeTableConstraint NodeTableConstraint;
typedef struct NodeNullOrDefault NodeNullOrDefault;
typedef struct IntervalParts IntervalParts;

/* An exact numeric: precision, scale, sign (1 positive, 0 negative) and a
   16-byte little-endian magnitude, laid out as the ODBC numeric structure. */
typedef SQL_NUMERIC_STRUCT NumericValue;

#endif
