// The export file: a header "0", the customers, the products and the sales lines that carry a
// status letter, and a trailer "9" with the control counts and the value total; fixed-width
// records of Windows-1252 bytes, each ending in CR LF (the file ends with the trailer's own
// CR LF, no empty last line).
//
// The file is written under a temporary name in the target folder, then renamed: a failure
// anywhere leaves the previous file of that name (if any) untouched and never a half-written
// one.
//
// Every field keeps its width: a value that does not fit stops the writer through its trap
// instead of shifting the rest of the record, and the trap's row names the record and the
// field, so that one bad row among thousands can be found and mended; a Null in a text field is
// written as blanks of the field's width (a product without a supplier name row would otherwise
// block every later file), a Null amount or quantity as 0; a Null date still stops the writer.
// Rows whose kind (Mascara) or letter has no record type are left out of the file, of every
// count and of the total, so the trailer always agrees with the records.
//
// The records are made directly in the code page's bytes: a field read where the recordset
// keeps it (plain ASCII, an amount) costs no text of its own, which makes a file of hundreds of
// thousands of lines a matter of a fraction of a second; any other value takes the general way
// through its Variant and the code page conversion, with the same bytes as the result.

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/FicheiroTemporario.h"
#include "extractor/RunHost.h"
#include "extractor/ValorOuZero.h"
#include "extractor/clsVelmora.h"
#include "platform/clock.h"
#include "platform/crashpoint.h"
#include "platform/profile.h"
#include "platform/runtime_error.h"
#include "platform/win1252.h"
#include "util/EDiv.h"
#include "util/Locale.h"
#include "util/text.h"

namespace {

using data::provider::PackedValue;

const QString kCrLf = QStringLiteral("\r\n");

// The log label of a settings file that could not be written.
const QString kRotuloConfiguracao = QStringLiteral("Ficheiro de Configuração");

// What a text will be in the file, in the code page's bytes: a character outside the code page
// is one "?" there, so widths are counted on the bytes as they will be written.
// A line break typed into a name or an address would end the record in the middle and make
// the rest of the file unreadable: it is written as a blank, which keeps the field's width.
QByteArray comoNoFicheiro(const QString& texto) {
    QByteArray r = platform::toAnsi(texto);
    for (char& ch : r) {
        if (ch == '\r' || ch == '\n') ch = ' ';
    }
    return r;
}

// Plain ASCII without line breaks is, byte for byte, what the file takes.
bool asciiSemQuebras(const char* p, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        const auto ch = static_cast<unsigned char>(p[i]);
        if (ch >= 0x80 || ch == '\r' || ch == '\n') return false;
    }
    return true;
}

bool ascii(const char* p, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
    }
    return true;
}

// A text field's value as the file takes it; Null is written as blanks, like an empty value.
// The bytes are those the recordset keeps when they can be written as they are, or a
// conversion kept here.
class TextoDoCampo {
public:
    explicit TextoDoCampo(const data::Field& campo) {
        const PackedValue v = campo.View();
        if (v.kind == PackedValue::Null) return;
        if (v.kind == PackedValue::Latin1 && asciiSemQuebras(v.text, v.size)) {
            if (v.size == 0) return;
            p_ = v.text;
            n_ = v.size;
            return;
        }
        const data::Variant valor = campo.Value();
        if (valor.isNull() || valor.isEmpty()) return;
        convertido_ = comoNoFicheiro(valor.toString());
        p_ = convertido_.constData();
        n_ = convertido_.size();
    }
    // A text already in the file's bytes (the header's).
    explicit TextoDoCampo(const QByteArray& bytes) : convertido_(bytes) {
        p_ = convertido_.constData();
        n_ = convertido_.size();
    }
    const char* data() const { return p_; }
    qsizetype size() const { return n_; }

private:
    const char* p_ = "";
    qsizetype n_ = 0;
    QByteArray convertido_;
};

// The digits of an amount as FDNum writes it without separators: the whole part (no leading
// zeros, "0" when none) and exactly `decimais` decimals (0 to 4). The rounding is FDNum's: with
// decimals an exact half goes to the even neighbour, without them it goes up. Returns the end.
char* digitosDoValor(std::int64_t raw, int decimais, char* out) {
    static constexpr std::uint64_t kPotencia[] = {1, 10, 100, 1000, 10000};
    const std::uint64_t mag = raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    const std::uint64_t unidade = kPotencia[4 - decimais];
    std::uint64_t q = 0;
    if (decimais == 0) {
        q = (mag + 5000) / 10000;
    } else {
        q = mag / unidade;
        const std::uint64_t dobro = 2 * (mag % unidade);
        if (dobro > unidade || (dobro == unidade && q % 2 != 0)) ++q;
    }
    char invertido[24];
    int n = 0;
    do {
        invertido[n++] = static_cast<char>('0' + q % 10);
        q /= 10;
    } while (q != 0);
    while (n < decimais + 1) invertido[n++] = '0';
    while (n > 0) *out++ = invertido[--n];
    return out;
}

// FDNum puts the regional decimal separator among the digits; only a separator that holds no
// digit of its own can be left out as the numbers' fields leave it out.
bool separadorSemDigitos() {
    for (const QChar ch : Locale().gstrDecSep) {
        if (ch >= u'0' && ch <= u'9') return false;
    }
    return true;
}

// A number field of `largura` bytes (FormataNumero's layout) written at w, which has room for
// it; the end of what was written.
char* numeroNoRegisto(char* w, std::int64_t raw, int largura, int decimais, bool comSinal, char enchimento) {
    char digitos[32];
    char* fim = digitosDoValor(raw, decimais, digitos);
    if (comSinal) *fim++ = raw < 0 ? '-' : ' ';
    const auto n = static_cast<int>(fim - digitos);
    // A number wider than its field would shift every later field of the record.
    if (n > largura) platform::raiseOverflow();
    std::memset(w, enchimento, static_cast<size_t>(largura - n));
    w += largura - n;
    std::memcpy(w, digitos, static_cast<size_t>(n));
    return w + n;
}

// A text field at w: blanks around the value dropped, then blanks up to the width. A value
// longer than its field has no place in a fixed-width record.
char* textoNoRegisto(char* w, const TextoDoCampo& t, int largura) {
    const char* p = t.data();
    qsizetype b = 0;
    qsizetype e = t.size();
    while (b < e && p[b] == ' ') ++b;
    while (e > b && p[e - 1] == ' ') --e;
    const qsizetype n = e - b;
    if (n > largura) platform::raiseInvalidCall();
    std::memcpy(w, p + b, static_cast<size_t>(n));
    std::memset(w + n, ' ', static_cast<size_t>(largura - n));
    return w + largura;
}

char* bytesNoRegisto(char* w, const char* p, qsizetype n) {
    std::memcpy(w, p, static_cast<size_t>(n));
    return w + n;
}

// The file's name is joined to the export folder and to the temporary folder (its zip): a name
// holding a folder separator (a prefix P15 such as "../x") would put either outside them. The
// backslash is refused as well: it is the separator where these settings files come from.
void nomeSemPasta(const QString& nome) {
    if (nome.contains(u'/') || nome.contains(u'\\')) {
        throw platform::RuntimeError(52, QStringLiteral("Bad file name or number: a file name holds no folder: ") + nome);
    }
}

[[noreturn]] void falhaEscrita(long numero, const QString& texto, const QString& ficheiro) {
    throw platform::RuntimeError(numero, texto + QStringLiteral(": ") + ficheiro);
}

// The file in the code page's bytes, made in a buffer of a few megabytes: each record is
// written into room reserved for the longest one and kept once it is complete, so a record
// that fails half-way leaves nothing behind. A full buffer goes to a temporary file beside
// the file's path and is filled again (tens of megabytes held, or grown and copied, cost more
// than the file's own writing); the temporary file becomes the file only when it is complete,
// and one left incomplete (a failure anywhere) is removed, the previous file of that name
// untouched.
class Ficheiro {
public:
    static constexpr qsizetype kMaiorRegisto = 4096;
    static constexpr qsizetype kParte = qsizetype(4) << 20;

    explicit Ficheiro(const QString& path) : path_(path) {}

    char* reserva() {
        if (!dados_) dados_ = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(kParte));
        if (usado_ + kMaiorRegisto > kParte) despeja();
        return dados_.get() + usado_;
    }
    void fixa(const char* fim) { usado_ = fim - dados_.get(); }
    void acrescenta(const QByteArray& b) {
        qsizetype feito = 0;
        while (feito < b.size()) {
            char* w = reserva();
            const qsizetype parte = std::min(b.size() - feito, kMaiorRegisto);
            std::memcpy(w, b.constData() + feito, static_cast<size_t>(parte));
            fixa(w + parte);
            feito += parte;
        }
    }
    // What is left, then the temporary file renamed as the file.
    void conclui() {
        despeja();
        platform::crashPoint("ficheiro.escrita");
        if (!file_->commit()) {
            falhaEscrita(57, QStringLiteral("Device I/O error"),
                         path_ + QStringLiteral(" (") + file_->errorString() + u')');
        }
        file_.reset();
    }

private:
    void despeja() {
        if (!file_) {
            const QFileInfo info(path_);
            if (!info.absoluteDir().exists()) falhaEscrita(76, QStringLiteral("Path not found"), path_);
            FicheiroTemporario::removeRestos(info.absolutePath());
            file_ = std::make_unique<FicheiroTemporario>(path_);
            if (!file_->open()) {
                falhaEscrita(75, QStringLiteral("Path/File access error"),
                             path_ + QStringLiteral(" (") + file_->errorString() + u')');
            }
        }
        if (!file_->write(dados_.get(), usado_)) {
            falhaEscrita(61, QStringLiteral("Disk full"), path_ + QStringLiteral(" (") + file_->errorString() + u')');
        }
        usado_ = 0;
    }

    QString path_;
    std::unique_ptr<FicheiroTemporario> file_;  // opened when the first buffer is full or at the end
    std::unique_ptr<char[]> dados_;
    qsizetype usado_ = 0;
};

struct Contagens {
    std::int32_t detalhe = 0;
    std::int32_t n = 0;
    std::int32_t a = 0;
    std::int32_t e = 0;
    std::int32_t clientes = 0;
    std::int32_t produtos = 0;
    std::int32_t vendasDevolucoes = 0;
    std::int32_t ofertas = 0;
    data::Currency total;

    // Adds one to the letter's count (N, E or A, as letra gives them).
    void contaLetra(char status) {
        if (status == 'N') {
            ++n;
        } else if (status == 'E') {
            ++e;
        } else if (status == 'A') {
            ++a;
        }
    }
};

// The columns the writer reads, each looked up by name at its first use in a section (a column
// that only some rows need is never asked for when no such row comes).
enum Coluna {
    cChave, cStatus, cCodigo, cDescricao, cDesignacao, cContribuinte, cBI_NIPC, cMorada, cLocalidade, cDistrito,
    cConcelho, cCodPost, cPais, cSegmento, cUnidadeVenda, cPVP, cNomeFornecedor, cMascara, cData, cTipoVenda,
    cCodigoVendedor, cCodigoCliente, cCodigoProduto, cQuantidade, cValor, cMotivo, cIEC, kColunas
};

const char* const kNomeColuna[kColunas] = {
    "Chave", "Status", "Codigo", "Descricao", "Designacao", "Contribuinte", "BI_NIPC", "Morada", "Localidade", "Distrito",
    "Concelho", "CodPost", "Pais", "Segmento", "UnidadeVenda", "PVP", "NomeFornecedor", "Mascara", "Data",
    "TipoVenda", "CodigoVendedor", "CodigoCliente", "CodigoProduto", "Quantidade", "Valor", "Motivo", "IEC",
};

// The fields of one section's record set; the handles follow the current row. The column
// read last is the one a failure of the row's record is about.
class Colunas {
public:
    explicit Colunas(const data::Recordset& rs) : rs_(rs) {}
    const data::Field& operator()(Coluna c) {
        ultima_ = c;
        auto& f = campos_[static_cast<size_t>(c)];
        if (!f) f.emplace(rs_.Fields(QString::fromLatin1(kNomeColuna[c])));
        return *f;
    }
    // "Produto P1, campo PVP": the row's kind, its key column's value and the column read last.
    QString nomeia(const char* tipo, Coluna chave) {
        const Coluna campo = ultima_;
        QString codigo;
        try {
            const data::Variant v = (*this)(chave).Value();
            codigo = (v.isNull() || v.isEmpty()) ? QStringLiteral("Null") : v.toString();
        } catch (const std::exception&) {
        }
        return QString::fromLatin1(tipo) + codigo + QStringLiteral(", campo ") + QString::fromLatin1(kNomeColuna[campo]);
    }

private:
    const data::Recordset& rs_;
    std::array<std::optional<data::Field>, kColunas> campos_;
    Coluna ultima_ = cStatus;
};

// Every row of a section's statement, in its order, through `linha` (which reads its columns).
// The rows are read forward once and none is changed, so the provider may hand them out one at
// a time instead of reading the whole section into memory first. An error of a row's record
// reaches the trap with the record and the field named after its own text (tipo and the key
// column).
template <typename Linha>
void cadaLinha(data::Connection& conn, const QString& sql, const char* tipo, Coluna chave, Linha linha) {
    data::Recordset rs;
    rs.OpenForwardOnce(sql, conn, data::ado::adOpenDynamic, data::ado::adLockOptimistic);
    Colunas campo(rs);
    if (!(rs.BOF() && rs.EOF())) {
        while (!rs.EOF()) {
            try {
                linha(campo);
            } catch (const platform::RuntimeError& e) {
                throw platform::RuntimeError(e.number(), e.description() + QStringLiteral(" (") +
                                                             campo.nomeia(tipo, chave) + u')');
            }
            rs.MoveNext();
        }
    }
    rs.Close();
}

// The status letter of a row: 'N', 'E' or 'A', or 0 for any other value (Null among them).
char letraDe(const data::Field& status) {
    const PackedValue v = status.View();
    if (v.kind == PackedValue::Null) return 0;
    if (v.kind == PackedValue::Latin1) {
        if (v.size != 1) return 0;
        const char l = v.text[0];
        return (l == 'N' || l == 'E' || l == 'A') ? l : 0;
    }
    const data::Variant valor = status.Value();
    if (valor.isNull()) return 0;
    const QString t = valor.toString();
    if (t == QStringLiteral("N")) return 'N';
    if (t == QStringLiteral("E")) return 'E';
    if (t == QStringLiteral("A")) return 'A';
    return 0;
}

// The kind of a sales line: 'V' sale, 'D' return, 'O' offer delivery ("EO"), 0 for any other.
char mascaraDe(const data::Field& mascara) {
    const PackedValue v = mascara.View();
    if (v.kind == PackedValue::Null) return 0;
    if (v.kind == PackedValue::Latin1) {
        if (v.size == 1 && (v.text[0] == 'V' || v.text[0] == 'D')) return v.text[0];
        if (v.size == 2 && v.text[0] == 'E' && v.text[1] == 'O') return 'O';
        return 0;
    }
    const data::Variant valor = mascara.Value();
    if (valor.isNull()) return 0;
    const QString t = valor.toString();
    if (t == QStringLiteral("V")) return 'V';
    if (t == QStringLiteral("D")) return 'D';
    if (t == QStringLiteral("EO")) return 'O';
    return 0;
}

}  // namespace

void clsVelmora::EscreveFicheiro(data::Connection& gconnGeral, const QString& strFicheiro,
                                 const QString& strNomeFicheiro, const QString& strSistema) {
    using namespace data::ado;
    const QDateTime agora = platform::now();
    const QDate hoje = agora.date();
    Contagens c;
    Ficheiro ficheiro(strFicheiro);
    const bool numerosDirectos = separadorSemDigitos();

    const auto texto = [](char* w, const data::Field& campo, int largura) {
        return textoNoRegisto(w, TextoDoCampo(campo), largura);
    };
    const QString zero = QStringLiteral("0");
    const auto numero = [&](char* w, const data::Field& campo) {
        if (numerosDirectos) {
            const PackedValue v = campo.View();
            if (v.kind == PackedValue::Amount) return numeroNoRegisto(w, v.amount, 13, 2, true, '0');
        }
        const QByteArray b = platform::toAnsi(FormataNumero(valorOuZero(campo.Value()), 13, 2, true, zero));
        return bytesNoRegisto(w, b.constData(), b.size());
    };
    // TipoVenda and IEC: one character, taken as stored; Null (or nothing) is one blank.
    const auto umCaracter = [](char* w, const data::Field& campo) {
        const TextoDoCampo t(campo);
        if (t.size() > 1) platform::raiseInvalidCall();
        *w = t.size() == 0 ? ' ' : t.data()[0];
        return w + 1;
    };
    const auto data8 = [this](char* w, const data::Field& campo) {
        const PackedValue v = campo.View();
        if (v.kind == PackedValue::Latin1 && ascii(v.text, v.size)) {
            // Left(4) & Mid(5, 2) & Right(2) of the stored text.
            const qsizetype n = v.size;
            const qsizetype ano = std::min<qsizetype>(n, 4);
            const qsizetype mes = n > 5 ? std::min<qsizetype>(n - 5, 2) : 0;
            const qsizetype dia = std::min<qsizetype>(n, 2);
            if (ano + mes + dia != 8) platform::raiseInvalidCall();
            w = bytesNoRegisto(w, v.text, ano);
            w = bytesNoRegisto(w, v.text + 5, mes);
            return bytesNoRegisto(w, v.text + n - dia, dia);
        }
        const QString d = DataParaAAAAMMDD(campo.Value().toString()).toString();
        if (d.size() != 8) platform::raiseInvalidCall();
        const QByteArray b = platform::toAnsi(d);
        return bytesNoRegisto(w, b.constData(), b.size());
    };
    const auto fimDeRegisto = [](char* w) {
        *w++ = '\r';
        *w++ = '\n';
        return w;
    };

    // 1. Header.
    std::int16_t dois = 2;
    {
        const QString data = QString::number(hoje.year()) + eFun().Zerar(QString::number(hoje.month()), dois) +
                             eFun().Zerar(QString::number(hoje.day()), dois) +
                             agora.time().toString(QStringLiteral("hhmmss"));
        const QByteArray b = platform::toAnsi(data);
        const TextoDoCampo sistema(comoNoFicheiro(strSistema));
        const TextoDoCampo nome(comoNoFicheiro(strNomeFicheiro));
        // The header's texts come from the settings file: its row names the key to mend.
        const auto campoDoCabecalho = [](char* w, const TextoDoCampo& t, int largura, const char* chave) {
            try {
                return textoNoRegisto(w, t, largura);
            } catch (const platform::RuntimeError& e) {
                throw platform::RuntimeError(e.number(), e.description() + QStringLiteral(" (Cabeçalho, campo ") +
                                                             QString::fromLatin1(chave) + u')');
            }
        };
        char* w = ficheiro.reserva();
        *w++ = '0';
        w = campoDoCabecalho(w, sistema, 32, "P8");
        w = bytesNoRegisto(w, b.constData(), b.size());
        w = campoDoCabecalho(w, nome, 14, "P15");
        ficheiro.fixa(fimDeRegisto(w));
    }

    // 2. Customers.
    cadaLinha(gconnGeral,
              QStringLiteral("Select * from Clientes Where Activo=1 and isnull(status,'')<>'' order by codigo"),
              "Cliente ", cCodigo, [&](Colunas& campo) {
                  const char status = letraDe(campo(cStatus));
                  if (status != 0) {
                      char* w = ficheiro.reserva();
                      std::memcpy(w, status == 'N' ? "1 011 " : status == 'A' ? "1 012 " : "1 013 ", 6);
                      w += 6;
                      w = texto(w, campo(cCodigo), 10);
                      w = texto(w, campo(cDescricao), 80);
                      w = texto(w, campo(cDesignacao), 80);
                      {
                          // Zerar: the first ten characters without blanks around them, right-aligned.
                          const TextoDoCampo t(campo(cContribuinte));
                          const char* p = t.data();
                          qsizetype e = std::min<qsizetype>(t.size(), 10);
                          qsizetype b = 0;
                          while (b < e && p[b] == ' ') ++b;
                          while (e > b && p[e - 1] == ' ') --e;
                          std::memset(w, ' ', static_cast<size_t>(10 - (e - b)));
                          w += 10 - (e - b);
                          w = bytesNoRegisto(w, p + b, e - b);
                      }
                      w = texto(w, campo(cBI_NIPC), 10);
                      w = texto(w, campo(cMorada), 60);
                      w = texto(w, campo(cLocalidade), 50);
                      w = texto(w, campo(cDistrito), 50);
                      w = texto(w, campo(cConcelho), 50);
                      w = texto(w, campo(cCodPost), 60);
                      w = texto(w, campo(cPais), 50);
                      w = texto(w, campo(cSegmento), 50);
                      c.contaLetra(status);
                      ++c.clientes;
                      ficheiro.fixa(fimDeRegisto(w));
                      ++c.detalhe;
                  }
              });

    // 3. Products.
    cadaLinha(gconnGeral,
              QStringLiteral("Select * from Produtos Where Activo=1 and isnull(status,'')<>'' Order by codigo "),
              "Produto ", cCodigo, [&](Colunas& campo) {
                  const char status = letraDe(campo(cStatus));
                  if (status != 0) {
                      char* w = ficheiro.reserva();
                      std::memcpy(w, status == 'N' ? "1 101 " : status == 'A' ? "1 102 " : "1 103 ", 6);
                      w += 6;
                      w = texto(w, campo(cCodigo), 15);
                      w = texto(w, campo(cCodigo), 20);
                      w = texto(w, campo(cDescricao), 80);
                      w = texto(w, campo(cUnidadeVenda), 5);
                      w = numero(w, campo(cPVP));
                      w = texto(w, campo(cNomeFornecedor), 50);
                      c.contaLetra(status);
                      ++c.produtos;
                      ficheiro.fixa(fimDeRegisto(w));
                      ++c.detalhe;
                  }
              });

    // 4. Sales lines: sales first, then offer deliveries, then returns, each by date.
    cadaLinha(gconnGeral,
              QStringLiteral("Select * from movimentos Where isnull(status,'')<>'' order by Mascara DESC,Data ASC"),
              "Movimento Chave ", cChave, [&](Colunas& campo) {
                  const char mascara = mascaraDe(campo(cMascara));
                  const char status = letraDe(campo(cStatus));

                  if (mascara != 0 && status != 0) {
                      char* w = ficheiro.reserva();
                      std::memcpy(w, mascara == 'V' ? "1 30" : mascara == 'D' ? "1 31" : "1 40", 4);
                      std::memcpy(w + 4, status == 'N' ? "1 " : status == 'E' ? "3 " : "2 ", 2);
                      w += 6;
                      w = data8(w, campo(cData));
                      // Sales (V) and returns (D) carry a value and the tax mark, a sale its kind
                      // before the codes, a return its reason; an offer delivery (EO) neither.
                      const bool comValor = mascara != 'O';
                      if (mascara == 'V') w = umCaracter(w, campo(cTipoVenda));
                      w = texto(w, campo(cCodigoVendedor), 5);
                      w = texto(w, campo(cCodigoCliente), 10);
                      w = texto(w, campo(cCodigoProduto), 15);
                      w = numero(w, campo(cQuantidade));
                      if (comValor) {
                          w = numero(w, campo(cValor));
                          w = bytesNoRegisto(w, "EUR  ", 5);
                      }
                      w = texto(w, campo(cUnidadeVenda), 5);
                      if (mascara == 'D') w = texto(w, campo(cMotivo), 100);
                      if (comValor) w = umCaracter(w, campo(cIEC));
                      // Offer deliveries count in the total although their record has no value.
                      const data::Field& valor = campo(cValor);
                      const PackedValue v = valor.View();
                      c.total += v.kind == PackedValue::Amount ? data::Currency::fromRaw(v.amount)
                                                               : valorOuZero(valor.Value());

                      if (mascara == 'O') {
                          ++c.ofertas;
                      } else {
                          ++c.vendasDevolucoes;
                      }
                      c.contaLetra(status);
                      ficheiro.fixa(fimDeRegisto(w));
                      ++c.detalhe;
                  }
              });

    // 5. Trailer.
    const auto conta = [&](std::int32_t n) { return FormataNumero(n, 8, 0, false, QStringLiteral("0")); };
    ficheiro.acrescenta(platform::toAnsi(QStringLiteral("9") + conta(c.detalhe) + conta(c.n) + conta(c.a) +
                                         conta(c.e) + conta(c.clientes) + conta(c.produtos) +
                                         conta(c.vendasDevolucoes) + conta(c.ofertas) + conta(0) +
                                         FormataNumero(c.total, 16, 2, false, QStringLiteral(" ")) + kCrLf));

    // 6. The file.
    ficheiro.conclui();
}

data::Variant clsVelmora::CriaFicheiro(data::Connection& gconnGeral, const QString& /*DataIni*/,
                                       const QString& /*DataFim*/, const QString& strFicheiro,
                                       const QString& strNomeFicheiro, const QString& strSistema, bool blnManual,
                                       RunHost& host) {
    try {
        nomeSemPasta(strNomeFicheiro);
        EscreveFicheiro(gconnGeral, strFicheiro, strNomeFicheiro, strSistema);
        // 7. Its zipped copy and the status reset.
        GuardaHistorico(gconnGeral, strFicheiro, strNomeFicheiro, blnManual);
    } catch (const std::exception& e) {
        FalhaNoProcesso(host, QStringLiteral("Função Cria Ficheiro"), e);
        return data::Variant();
    }
    // The automatic run's end state. The file, its copy and the reset stand whatever becomes of
    // it, so a settings file that cannot take it is not the file's failure: it gets a row of its
    // own, naming the file, and the run goes on to mail what it made.
    if (!blnManual) {
        const QString ini = caminhoFicheiroIni();
        if (!platform::WritePrivateProfileString(QStringLiteral("Extractor"), QStringLiteral("P12"),
                                                 QStringLiteral("Concluído"), ini)) {
            LancaLog(kRotuloConfiguracao,
                     QStringLiteral("Não foi possível gravar P12 = Concluído: Path/File access error: ") + ini);
        }
    }
    return data::Variant();
}

QString clsVelmora::PreencheEspacos(const QString& Texto, std::int16_t Largura) {
    const QString t = util::trimBlanks(Texto);
    // A value longer than its field has no place in a fixed-width record.
    if (t.size() > Largura) platform::raiseInvalidCall();
    return t + QString(Largura - t.size(), u' ');
}

QString clsVelmora::FormataNumero(const data::Variant& Valor, std::int16_t Largura, std::int16_t Decimais,
                                  bool ComSinal, const QString& Caracter) {
    const data::Currency valor = Valor.toCurrency();
    if (separadorSemDigitos()) {
        // FDNum's digits made here, without the texts it builds on the way.
        char digitos[32];
        char* fim = digitosDoValor(valor.raw(), std::clamp<int>(Decimais, 0, 4), digitos);
        if (ComSinal) *fim++ = valor.raw() < 0 ? '-' : ' ';
        const auto n = static_cast<int>(fim - digitos);
        if (n > Largura) platform::raiseOverflow();
        const QChar enchimento = Caracter.isEmpty() ? QChar(u'0') : Caracter.at(0);
        QString r(Largura - n, enchimento);
        r += QLatin1StringView(digitos, n);
        return r;
    }
    QString separadorMilhares = QStringLiteral("SSM");
    QString separadorDecimal;
    const QString s = eFun().FDNum(valor, Decimais, 0, 0, separadorMilhares, separadorDecimal);

    QString digitos;
    digitos.reserve(s.size() + 1);
    for (const QChar ch : s) {
        if (ch >= u'0' && ch <= u'9') digitos += ch;
    }
    if (ComSinal) digitos += valor.raw() < 0 ? u'-' : u'+';

    std::int16_t largura = Largura;
    QString preenchimento = Caracter.left(1);
    QString r = eFun().Zerar(digitos, largura, preenchimento);
    if (r.endsWith(u'+')) r[r.size() - 1] = u' ';
    // A number wider than its field would shift every later field of the record.
    if (r.size() > Largura) platform::raiseOverflow();
    return r;
}

data::Variant clsVelmora::DataParaAAAAMMDD(const QString& Texto) {
    return Texto.left(4) + Texto.mid(5, 2) + Texto.right(2);
}
