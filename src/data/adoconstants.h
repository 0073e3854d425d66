#pragma once
// The ADO numbers the system passes and reads: field types, cursor and lock types, object
// states, command types and execute options. Kept as plain integer constants because the
// system stores and compares them as numbers.

namespace data {

namespace ado {

// DataTypeEnum
inline constexpr int adEmpty = 0;
inline constexpr int adSmallInt = 2;
inline constexpr int adInteger = 3;
inline constexpr int adSingle = 4;
inline constexpr int adDouble = 5;
inline constexpr int adCurrency = 6;
inline constexpr int adDate = 7;
inline constexpr int adBSTR = 8;
inline constexpr int adBoolean = 11;
inline constexpr int adVariant = 12;
inline constexpr int adDecimal = 14;
inline constexpr int adTinyInt = 16;
inline constexpr int adUnsignedTinyInt = 17;
inline constexpr int adBigInt = 20;
inline constexpr int adGUID = 72;
inline constexpr int adBinary = 128;
inline constexpr int adChar = 129;
inline constexpr int adWChar = 130;
inline constexpr int adNumeric = 131;
inline constexpr int adDBTimeStamp = 135;
inline constexpr int adVarChar = 200;
inline constexpr int adLongVarChar = 201;
inline constexpr int adVarWChar = 202;
inline constexpr int adLongVarWChar = 203;
inline constexpr int adVarBinary = 204;
inline constexpr int adLongVarBinary = 205;

// CursorTypeEnum
inline constexpr int adOpenUnspecified = -1;
inline constexpr int adOpenForwardOnly = 0;
inline constexpr int adOpenKeyset = 1;
inline constexpr int adOpenDynamic = 2;
inline constexpr int adOpenStatic = 3;

// LockTypeEnum
inline constexpr int adLockUnspecified = -1;
inline constexpr int adLockReadOnly = 1;
inline constexpr int adLockPessimistic = 2;
inline constexpr int adLockOptimistic = 3;
inline constexpr int adLockBatchOptimistic = 4;

// ObjectStateEnum
inline constexpr long adStateClosed = 0;
inline constexpr long adStateOpen = 1;

// CommandTypeEnum (and the options of Open and Execute that share its numbers)
inline constexpr long adCmdUnspecified = -1;
inline constexpr long adCmdText = 1;
inline constexpr long adCmdTable = 2;
inline constexpr long adCmdStoredProc = 4;
inline constexpr long adCmdUnknown = 8;
inline constexpr long adCmdTableDirect = 512;
// ExecuteOptionEnum
inline constexpr long adExecuteNoRecords = 128;

// EditModeEnum
inline constexpr int adEditNone = 0;
inline constexpr int adEditInProgress = 1;
inline constexpr int adEditAdd = 2;

// ParameterDirectionEnum
inline constexpr int adParamUnknown = 0;
inline constexpr int adParamInput = 1;
inline constexpr int adParamOutput = 2;
inline constexpr int adParamInputOutput = 3;
inline constexpr int adParamReturnValue = 4;

// Whether a field type holds text, bytes, or a long value that is read in chunks.
constexpr bool isTextType(int t) {
    return t == adChar || t == adWChar || t == adVarChar || t == adVarWChar || t == adLongVarChar ||
           t == adLongVarWChar || t == adBSTR;
}
constexpr bool isBinaryType(int t) { return t == adBinary || t == adVarBinary || t == adLongVarBinary; }
constexpr bool isLongType(int t) { return t == adLongVarChar || t == adLongVarWChar || t == adLongVarBinary; }

}  // namespace ado

}  // namespace data
