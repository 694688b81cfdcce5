// CTunSet::ExchangeLongBinary: the tun table's file column in every pass of the
// field exchange. Its bytes never sit in a bound buffer: INSERT and UPDATE bind
// the value as a data-at-execution parameter of the driver's default C type,
// and the recordset sends the block's bytes while the statement executes.

#include "framework/odbc/RecordFieldExchange.h"
#include "tables/CTunSet.h"

void CTunSet::ExchangeLongBinary(CFieldExchange* pFX, const char* szName, CLongBinary& value) {
    LongBinaryField field(value, SQL_C_DEFAULT);
    ExchangeField(pFX, szName, field);
}
