#pragma once
// EDiv: the general utility class. The program holds one instance, reached through eFun();
// screens, list classes, controls and runs take their padding, number, date, code-list and
// locale services from it. Its members are spread over one source file per family
// (EDiv_strings.cpp, EDiv_numbers.cpp, EDiv_codelists.cpp, EDiv_dates.cpp, EDiv.cpp).
//
// Arguments that the system passes by reference are platform::Ref<T>: a variable passed there
// receives the member's write-backs; a literal or an omitted optional argument does not.

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "data/currency.h"
#include "data/variant.h"
#include "platform/byref.h"

class EDiv {
public:
    using Currency = data::Currency;
    using Variant = data::Variant;
    template <class T>
    using Ref = platform::Ref<T>;

    EDiv();   // Class_Initialize: fills the month-name table
    ~EDiv();  // Class_Terminate
    EDiv(const EDiv&) = delete;
    EDiv& operator=(const EDiv&) = delete;

    // ---- padding and strings -------------------------------------------------------------
    QString Zerar(const QString& Texto, Ref<std::int16_t> Nchar, Ref<QString> Caracter = {});
    QString Tirar_Espacos_str(const QString& strString, const QString& strTipoEspaco = QString());
    Variant IsNulo(const Variant& varInput, const Variant& varDefault);
    bool IntToBool(std::int16_t MValor);
    std::int16_t BoolToInt(bool MValor);
    QString StripVBCRLFString(QString xString, const QString& ReplaceChar = QString());
    std::int16_t ContaCHR(const QString& strString, const QString& strCHR);
    QString ReplacePortChar(QString strToCheck);
    QString Encrypt(const QString& Frase);
    QString Decrypt(const QString& Frase);
    QString DecToBin(Ref<std::int16_t> Num);
    QString InverteBin(const QString& Bin);
    std::int16_t BinToDec(const QString& Binario);
    bool StripString(QString SString, QString sChar, std::vector<Variant>& aArray);
    bool FastStripString(QString StringToStrip, const QString& Character, std::vector<Variant>& aReturn);
    void GetArg(const QString& MCommand, std::vector<QString>& Argv, std::int16_t& Argc);
    void SortArray(std::vector<Variant>& aArray, std::int32_t ordType);

    // ---- rounding and number formatting ---------------------------------------------------
    Currency ArredondaVal(Currency curVal, std::int16_t lngCasasDec, std::int32_t lngTipo);
    QString FDNum(Currency Numero, std::int16_t NumDec, std::int16_t Align = 0, std::int16_t MCompRet = 0,
                  Ref<QString> SMil = {}, Ref<QString> SDec = {});
    Currency StrToCurr(const QString& strValue, Ref<QString> MilSep = {}, Ref<QString> DecSep = {});
    QString CurToSQL(Currency curValue);
    QString NumToVBNum(QString strText, std::int16_t NumCasasDec);
    Currency Arredonda(Currency Num, std::int16_t NumCasas, Ref<std::int16_t> Comp = {});
    Variant ArredondaDez(Currency Numero, std::int16_t UpDown);
    Variant ArredondaValDecimal(Currency Valor, std::int16_t lngCasasDec, std::int32_t lngTipo);
    QString OldFDNum(const Variant& Numero, std::int16_t NumDec, std::int16_t Align = 0, std::int16_t MCompRet = 0,
                     Ref<QString> SMil = {}, Ref<QString> SDec = {});

    // ---- code lists ("key:caption;key:caption;") ------------------------------------------
    // Both let a malformed list reach the caller as a run-time error.
    QString eselChave(const QString& Chave, const QString& Lista);
    void eselToArray(const QString& Lista, std::vector<std::array<Variant, 2>>& aArray);

    // ---- dates ----------------------------------------------------------------------------
    QString PData(const QString& strData);
    QString GData(const Variant& strData);
    QString CreateStrPos();
    bool FormataData(const QString& strData, Ref<QString> strFormatoO, QString& strDataTrocada,
                     QString& strDataCerta);
    QString DataAdd(const QString& Interval, const Variant& nDias, const QString& strData);
    QString GetDate();
    void DivideDiasMesesAnos(const QString& strDataAMD1, const Variant& strDataAMD2, Currency& Anos,
                             Currency& meses, Currency& Dias);
    QString DataExtenso(const QString& DataAMD);
    void GetDataIniFimParaMovs(QString& ByRefDataIni, QString& ByRefDataFim, QString Ano = QString(),
                               QString Mes = QString());
    QString meses(std::int16_t Index, bool Completo = false);
    QString Dias(std::int16_t Index, bool Completo = false);
    QString MesesStr(std::int16_t Mes);
    std::int32_t DataToMinutes(const Variant& mdata);
    std::int32_t ConvertDaysToOther(std::int32_t NumDays, QString ToUnit = QString());
    std::int32_t ConvertOtherToDays(std::int32_t Other, QString Unit = QString());

    // ---- locale access --------------------------------------------------------------------
    Variant Get_locale(std::int32_t LocalSetting);
    void Set_locale(std::int32_t Setting, const QString& Symbol);

private:
    std::array<QString, 13> mesesTabela_;  // positions 1-12 used

    // Working state of PData, rebuilt by each call.
    std::array<QString, 3> pdataParts_;
    std::array<QString, 3> pdataMarks_;
};

// The program's one EDiv, created on first use and kept until the program ends.
EDiv& eFun();
