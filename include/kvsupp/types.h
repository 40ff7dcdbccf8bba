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

/* An exact numeric: precision, scale, sign (1 positive, 0 negative) and a
   16-byte little-endian magnitude, laid out as the ODBC numeric structure. */
typedef SQL_NUMERIC_STRUCT NumericValue;

#endif
