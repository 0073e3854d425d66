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
#include <functional>
#include <vector>

#include "data/currency.h"
#include "data/variant.h"
#include "platform/byref.h"

// ---- for the SQL-text and record-set members (EDiv_sql.cpp) ----
namespace data {
class Connection;
class Recordset;
}  // namespace data
class PictureHolder;

// ---- for the choice dialog, window, keyboard and list-view members (EDiv_alert.cpp, gui/) ----
class QWidget;
class QTreeWidgetItem;
class ListView;

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

    // ==== amounts in words, printer, display and system members (EDiv_extenso.cpp, ==========
    // ==== EDiv_system.cpp) =====================================================================

    // ---- amount in words ------------------------------------------------------------------
    // The exchange and unit-name arguments are accepted but never used: the words carry no currency
    // name. Sexo "M" gives the masculine one and two ("Um", "Dois"), anything else the feminine.
    QString Extenso(Variant Valor, QString Cambio = QString(), QString Sexo = QStringLiteral("M"),
                    QString strUnidadeSing = QString(), QString strUnidadePlur = QString(),
                    QString strSubMultiploSing = QString(), QString strSubMultiploPlur = QString());

    // ---- printer, display and system ------------------------------------------------------
    bool GetPrinterSettings(Ref<QString> szPrinterName, Ref<std::int32_t> hdc, Ref<std::int16_t> PaperSize,
                            Ref<std::int16_t> PaperOrientation = {});
    bool SetImpressoraDefault(Ref<QString> PrinterName = {});
    QString FillListaPrinterPaperSize();
    void MudaResolucao(Ref<std::int32_t> Comprimento, Ref<std::int32_t> Altura);
    bool GetMachineName(Ref<Variant> rpsComputerName);
    QString GetGUID();
    QString BrowseForFolder(std::int32_t lngHwnd, QString strPrompt);
    QString BrowseForOutLookContacts();
    double FreeSpace(Ref<QString> strDisco, Ref<std::int32_t> enumUnidades);
    Variant Bip(Ref<std::int32_t> Frequency, Ref<std::int32_t> Duration);
    bool ISDesign();

    // ==== SQL text and record sets (EDiv_sql.cpp) ==============================================
    // The members work on a connection the caller opened and never open or close it. Arrays
    // are used from index 1 (index 0 is ignored). A text value placed between apostrophes has
    // its apostrophes doubled; numbers are written with "." as decimal point.

    // Booleans among the values are replaced in the caller's array by -1 or 0 first. A value
    // that is neither a number nor a text (Empty, Null, bytes) adds nothing to the value list.
    QString InsertSQL(const QString& Tabela, const std::vector<QString>& aCampos, std::vector<Variant>& AValores);
    // SWhere is copied as given (a WHERE clause or nothing). Empty and Null values set NULL.
    QString UpdateSQL(const QString& Tabela, const std::vector<QString>& aCampos, std::vector<Variant>& AValores,
                      const QString& SWhere);
    // Runs a statement without records through a text command; False on any failure.
    bool RunSQL(data::Connection& conn, const QString& strSQL);
    // Whether the statement returns a row; its errors reach the caller.
    bool VerSeExiste(data::Connection& conn, const QString& strSQL);
    // True for a recordset at BOF and EOF at once (opened without rows); False for one that
    // cannot answer (closed).
    bool IsVazio(const data::Recordset& rstRecordset);
    // The column's value in the first row; Empty without rows, Null on any failure.
    Variant GetFieldValue(data::Connection& connTemp, const QString& strSQL, const QString& strField);
    // Loads the image column of the row that sqlWHERE selects into the control, through the
    // temporary file "output.bin" in the temporary folder. The result is always Empty.
    Variant GetImagemFromTable(PictureHolder& ctrlPicture, data::Connection& connDb, const QString& strTable,
                               const QString& strField, const QString& sqlWHERE);
    // Stores the file's bytes in the image column of the first row that sqlWHERE selects; an
    // empty path empties the column, unless lngLimpaImagem is not 0 (then nothing happens).
    // The result is always False.
    bool AddImagemToTable(const QString& strImgFilePath, data::Connection& connDb, const QString& strTable,
                          const QString& strField, const QString& sqlWHERE, std::int32_t lngLimpaImagem = 0);

    // ==== choice dialog, window, keyboard and list-view members ================================
    // Alert lives in the core (EDiv_alert.cpp) and asks the dialog that the windowed program
    // installs (util/alert.h); the other members work on widgets and are defined in util/gui/
    // (EDiv_keyboard.cpp, EDiv_windows.cpp, EDiv_textlines.cpp, EDiv_controls.cpp,
    // EDiv_listview.cpp). Where the system passed a window handle these members take the widget.

    // ---- choice dialog --------------------------------------------------------------------
    // The 1-based position of the chosen line (Opcoes[0] is answer 1), 0 when cancelled or
    // closed without a choice, or when no dialog can be shown.
    std::int16_t Alert(const QString& Titulo, const std::vector<Variant>& Opcoes);

    // ---- keyboard -------------------------------------------------------------------------
    // Key-press filter of the screens: KeyAscii in and out (0 = key swallowed); Tag is the Tag
    // of the control that has the focus. A numeric Tag turns Enter into Tab and Esc into
    // Shift+Tab.
    void ControlEnter(Ref<std::int16_t> KeyAscii, const QString& Tag);
    Variant ScanPelicula(Ref<std::int16_t> KeyAscii);  // apostrophe becomes backquote
    // Simulated key strokes arrive through the event queue, after the current handler, at the
    // widget that has the focus then. Key is a virtual-key code, 0 to 255 (else overflow).
    void MandaTeclas(std::int32_t Key);
    void ControlV();

    // ---- windows and text boxes (positions and sizes in twips) ----------------------------
    Variant CenterForm(QWidget* FormX, QWidget* ParentForm = nullptr);
    void FormAlwaysOnTop(QWidget* mForm);
    void Sel(QWidget* ctrl);
    void InsertTexto(const QString& StrToInsert, QWidget* ctrl);
    // Line facts of a text box, counted as the system's edit boxes count them: positions from
    // 1 and every line break as two characters (CR LF).
    std::int32_t txtgetLineInfo(QWidget* txtObj, std::int32_t Info, std::int32_t lineNumber = 0);
    QString txtGetLineText(QWidget* txtObj, Ref<std::int32_t> lineNumber);
    void Espera(std::int16_t NSec);
    std::int16_t FastPSizeofString(const Variant& FastP, const QString& strString);

    // Colours as 32-bit values, red in the low byte.
    std::int32_t VERDE_ESCURO() const { return 32768; }
    std::int32_t MAGNENTA() const { return 16711935; }
    std::int32_t CINZENTO() const { return 12632256; }
    std::int32_t BRANCO() const { return 16777215; }
    std::int32_t PRETO() const { return 0; }
    std::int32_t AMARELO() const { return 65535; }
    std::int32_t VERMELHO() const { return 255; }
    std::int32_t VERDE() const { return 65280; }
    std::int32_t AZUL() const { return 12582912; }

    // ---- control groups -------------------------------------------------------------------
    // A form's controls are its widgets with their Name (objectName), Tag (the "Tag" property,
    // "" when unset), Container (the nearest enclosing control, or the form), Enabled and
    // TabIndex (the "TabIndex" property when set, else the place in the form's tab order).
    void EnableFrame(QWidget* frmForm, QWidget* fraFrame, bool blnValue, bool blnRecurseContainers = false,
                     const Variant& Index = Variant());
    Variant EnableControlContainer(QWidget* xForm, QWidget* xControl);
    QWidget* GetControlDisponivel(QWidget* frmForm, std::int16_t TabIndexInicial, std::int16_t TabIndexFinal,
                                  std::int32_t Indice, const QString& strCtrlNameIncludeLeft3 = QString());
    // Set the entry controls' properties by name; a control selected by name that lacks the
    // property raises error 438 to the caller.
    void SetCasasDecimaisEmValores(QWidget* xForm, std::int16_t NumCasas, const QString& ctrlName = QString());
    void SetCasasDecimaisEmDecimais(QWidget* xForm, std::int16_t NumCasas, const QString& ctrlName = QString());
    void SetMinMaxEmInteiros(QWidget* xForm, std::int16_t Minimo, std::int16_t Maximo, bool SetValCtrlToMin = false,
                             const QString& ctrlName = QString());

    // ---- list views (rows from 1) ---------------------------------------------------------
    void CreateListViewCol(ListView& lstView, const std::vector<Variant>& aData);
    void RowListview(ListView& lstView);
    bool IsTodosChecked(ListView& lvwListView);
    void CheckListView(ListView& lvwList, bool blnValue);
    void InverteSelecao(ListView& lvwList);
    void RemoveItemsFromListView(ListView& lvwListView, const QString& strTagToRemove = QString());
    void MoveListViewItem(ListView& lvwListView, QTreeWidgetItem* Item, std::int32_t UpDown);

    // ==== access rights (EDiv_acessos.cpp) =====================================================
    // Rights per user, company and key in the table acessos of the configuration database,
    // answered with the help of its procedures GetAcessoPrincipal, GetAcessoIndependente and
    // VerSeExisteCopiaAcessosBase. The key of a screen or control is application, form and
    // control names joined; the right to run the application is keyed by the executable's name.
    // The server administrator "SA" and the superuser "ADMIN" (compared upper-case) pass every
    // check. Values placed between apostrophes have their apostrophes doubled.

    // Opens its own connection through the program's configuration opener (util::
    // servicosPrograma()). A company that is not independent is checked against the principal
    // company's rows; a key without a row is allowed. Database errors reach the caller.
    bool AccCheckAcesso(const QString& uID, QString Empresa, const QString& appName = QString(),
                        const QString& frmName = QString(), const QString& ctrlName = QString());
    // Without a row the application is refused. Every error is shown and refuses.
    bool AccCheckUtilizApp(data::Connection& connActiva, const QString& uID, QString Empresa);
    // The user's row for running the application, value 0 (refused until changed), once.
    void AccCreateAPP(data::Connection& connActiva, const QString& uID, const QString& Empresa);
    // Copies the template rights (empresa "XXXX", utilizador "XX") to the user with value 1 and
    // refreshes the captions of the keys he has; SoSenaoExiste stops at his first existing key.
    void AccCopiaAcessosBase(data::Connection& connActiva, const QString& uID, const QString& Empresa,
                             bool SoSenaoExiste = false);
    // "TODOS" stands for every user or company; database errors reach the caller.
    void AccApagaTodososAcessos(data::Connection& connActiva, const QString& strUtilizador = QString(),
                                const QString& Empresa = QString());
    // Does nothing.
    void AccGetBotoes(data::Connection& connActiva, const QString& Empresa, const QString& uID, QWidget* frmForm,
                      const QString& CapForm = QString(), const QString& strNew = QString());
    // The principal company's code, "" when none (errors reach the caller).
    QString GetAcessoPrincipal(data::Connection& gconnConfig);
    // Non-zero for an independent company; an empty Empresa takes gstrCodEmpresa(); any
    // failure answers 0.
    std::int16_t GetAcessoIndependente(data::Connection& gconnConfig, QString Empresa = QString());

private:
    std::array<QString, 13> mesesTabela_;  // positions 1-12 used

    // Working state of PData, rebuilt by each call.
    std::array<QString, 3> pdataParts_;
    std::array<QString, 3> pdataMarks_;

    // ==== printer, display and system members (EDiv_system.cpp) ===============================

    // The display-mode record MudaResolucao fills and keeps between calls: the fields of the
    // platform's device-mode record that a display mode uses.
    struct DisplayModeRecord {
        std::uint32_t dmFields = 0;
        std::uint32_t dmBitsPerPel = 0;
        std::uint32_t dmPelsWidth = 0;
        std::uint32_t dmPelsHeight = 0;
        std::uint32_t dmDisplayFlags = 0;
        std::uint32_t dmDisplayFrequency = 0;
    };
    DisplayModeRecord devModeTela_;

    // Cleaners of the fixed-size name fields that platform services return.
    QString TiraNulos(Ref<QString> s);
    QString ByteArrayToStr(const QByteArray& b);
    friend struct EDivSystemAccess;  // lets the tests reach the cleaners and the record
};

// The program's one EDiv, created on first use and kept until the program ends.
EDiv& eFun();

// ==== access rights: what they take from the program (EDiv_acessos.cpp) ======================

// The program-wide company code with which GetAcessoIndependente replaces an empty company.
QString& gstrCodEmpresa();

namespace util {

// What the access-right members and the toolkit's own connections take from the program that
// holds them. The extractor installs its services at start-up (InstalaServicosConfig); until
// then the configuration opener fails with error 3709 and the regional refresh does nothing.
struct ServicosPrograma {
    // Opens conn on the configuration database with the configured login (OpenConfig);
    // on failure the error's number and text are in errNum and errText.
    std::function<bool(data::Connection& conn, std::int32_t& errNum, QString& errText)> OpenConfig;
    // Reads the regional settings again (AcertaLocale).
    std::function<void()> AcertaLocale;
    // The program-wide error variables of failed openings (errC, errD).
    std::int32_t& (*errC)() = nullptr;
    QString& (*errD)() = nullptr;
};
void setServicosPrograma(ServicosPrograma servicos);
const ServicosPrograma& servicosPrograma();
// The installed error variables, or variables of the library's own while none are installed.
std::int32_t& programaErrC();
QString& programaErrD();
// The configuration opener, with the program-wide error variables.
bool abreConfig(data::Connection& conn);

// The screen's mouse pointer: the busy pointer (hourglass) while a long administration member
// works, the default pointer afterwards. The windowed program installs the pointer; tests
// record the values.
inline constexpr std::int16_t vbDefault = 0;
inline constexpr std::int16_t vbHourglass = 11;
using MousePointerHook = std::function<void(std::int16_t pointer)>;
void setMousePointerHook(MousePointerHook hook);  // an empty hook removes it
void setScreenMousePointer(std::int16_t pointer);

// The application's executable name without its extension, the key of its own access row.
QString exeNameSemExtensao();

}  // namespace util

// The statement texts of the access-right members, exactly as they are sent.
namespace acessotexto {
QString CheckAcesso(const QString& uID, const QString& chave, const QString& empresa);
QString CheckUtilizApp(const QString& chave, const QString& uID, const QString& empresa);
QString ProcuraApp(const QString& chave, const QString& uID, const QString& empresa);
QString InsereApp(const QString& uID, const QString& chave, const QString& empresa);
QString AcessosBase();
QString ActualizaCaptions(const QString& caption, const QString& ctrlcap, const QString& chave, const QString& uID,
                          const QString& empresa);
QString InsereCopia(const QString& uID, const QString& chave, const QString& chave1, const QString& form,
                    const QString& ctrl, const QString& caption, const QString& ctrlcap, const QString& empresa);
QString Apaga(const QString& strUtilizador, const QString& empresa);
}  // namespace acessotexto
