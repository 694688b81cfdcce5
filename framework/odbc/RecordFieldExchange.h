// The standard field exchanges: one call per field in a recordset's
// DoFieldExchange, doing what each pass of the exchange asks of that field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "framework/CLongBinary.h"
#include "framework/CString.h"
#include "framework/odbc/CFieldExchange.h"
#include "framework/odbc/Odbc.h"

// The value an integer member holds while it is null (after AddNew, a NULL
// column or SetFieldNull). It is no null mark: the field's null status is. A
// member that still holds it, untouched, stays null; assigning any other value
// makes it a value, and SetFieldNull(&member, false) makes a value of whatever
// it holds, this one too.
inline constexpr std::int32_t kIntegerWhileNull = INT32_MIN;

// Text of at most nMaxLength bytes; a longer value is refused when written,
// never cut. An empty text is written as NULL.
void RFX_Text(CFieldExchange* pFX, const char* szName, CString& value, int nMaxLength = 255,
              int nColumnType = SQL_VARCHAR, short nScale = 0);
void RFX_Long(CFieldExchange* pFX, const char* szName, std::int32_t& value);
void RFX_Int(CFieldExchange* pFX, const char* szName, int& value);
// The bytes of the member's block; written only when marked not null and dirty.
void RFX_LongBinary(CFieldExchange* pFX, const char* szName, CLongBinary& value);

// The column's text in the current row of stmt, read in pieces whatever its
// length; nothing for NULL.
[[nodiscard]] std::optional<std::string> GetColumnText(SQLHSTMT stmt, SQLUSMALLINT column);
// SQL_LEN_DATA_AT_EXEC for a value's length, the length capped so the cell stays in 32 bits.
[[nodiscard]] SQLLEN CappedDataAtExecLength(std::uint32_t dataLength);

// One member's part in the passes of a field exchange, where kinds of value
// differ. ExchangeField runs the passes: it counts the field, finds its length
// cell, names and registers it, and binds it only when it is to be written.
class ExchangedField {
  public:
    virtual ~ExchangedField() = default;
    [[nodiscard]] virtual void* Member() const = 0;
    [[nodiscard]] virtual int CType() const = 0;
    // Fixup: reads the column of the current row into the member.
    virtual void Read(CFieldExchange* pFX, unsigned nField, SQLLEN* plLength) = 0;
    // The length cell of a value to bind (not null); raises when it may not be written.
    [[nodiscard]] virtual SQLLEN ValueLength(const char* szName, bool isKey) const = 0;
    // Binds the member as input parameter param (or collects it for a batch).
    virtual void Bind(CFieldExchange* pFX, unsigned nField, unsigned param, SQLLEN* plLength) = 0;
    // SetFieldNull: the length cell of a value, and the member emptied.
    [[nodiscard]] virtual SQLLEN NotNullLength() const = 0;
    virtual void Empty() = 0;
    // The member as text, for the value kept when Edit begins; nothing for a
    // member that takes no part in finding what changed (a caller marks it).
    [[nodiscard]] virtual std::optional<std::string> Kept() const { return std::nullopt; }
    // The member holds what stands for NULL, its null status given.
    [[nodiscard]] virtual bool HoldsNull(bool isNullStatus) const { return isNullStatus; }
    virtual void Load(const std::string& /*kept*/) {}
    // The length cell around a change of the row through its bound columns.
    virtual void BeforeRowChange(bool /*isDirty*/, bool /*isNull*/, SQLLEN* /*plLength*/) {}
    virtual void AfterRowChange(SQLLEN* /*plLength*/) {}
};
void ExchangeField(CFieldExchange* pFX, const char* szName, ExchangedField& field);

// A long binary whose bytes go while its statement executes, bound with cType.
// A NULL or empty column reads as NULL, the block kept with length 0.
class LongBinaryField : public ExchangedField {
  public:
    LongBinaryField(CLongBinary& value, int cType) : m_value(value), m_nCType(cType) {}
    [[nodiscard]] void* Member() const override { return &m_value; }
    [[nodiscard]] int CType() const override { return m_nCType; }
    void Read(CFieldExchange* pFX, unsigned nField, SQLLEN* plLength) override;
    [[nodiscard]] SQLLEN ValueLength(const char* szName, bool isKey) const override;
    void Bind(CFieldExchange* pFX, unsigned nField, unsigned param, SQLLEN* plLength) override;
    [[nodiscard]] SQLLEN NotNullLength() const override;
    void Empty() override { m_value.m_dwDataLength = 0; }
    void BeforeRowChange(bool isDirty, bool isNull, SQLLEN* plLength) override;
    void AfterRowChange(SQLLEN* plLength) override;

  private:
    CLongBinary& m_value;
    int m_nCType;
};
