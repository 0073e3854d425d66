#pragma once
// clsVelmora: one extraction run. The driver Processa imports products, customers and the
// period's sales lines into the staging database, adjusts the staging records for the kind of
// run, writes the export file, keeps its zipped copy, mails it and logs each step. An instance
// keeps no state between runs: make one per run.
//
// The members are spread over one source file per step: clsVelmora_processa.cpp (driver and
// log), clsVelmora_produtos.cpp, clsVelmora_clientes.cpp, clsVelmora_movimentos.cpp (imports),
// clsVelmora_ficheiro.cpp (export file and its formatters), clsVelmora_historico.cpp (history
// copy, status reset and the chunked field members).

#include <QString>
#include <cstdint>
#include <exception>

#include "data/connection.h"
#include "data/recordset.h"
#include "data/variant.h"

class RunHost;
class QFile;

class clsVelmora {
public:
    // One run; see the driver's file for the steps. DataIni and DataFim are "yyyy-mm-dd"
    // (DataFim may carry the regional date separator when the scheduler passes it).
    data::Variant Processa(data::Connection& gconnGeral, data::Connection& gconnGestao, const QString& DataIni,
                           const QString& DataFim, std::int16_t CutOffMovimentos, RunHost& StatusB,
                           bool blnManual);

    // One log row on the caller's open connection; errors reach the caller.
    data::Variant LancaLogGeral(data::Connection& conn, const QString& strOpcao, const QString& strTexto);

    // Long-field copies between files and fields.
    void BlobToFile(data::Field fld, QString FName, std::int32_t FieldSize = -1, std::int32_t Threshold = 1048576);
    void WriteFromBinary(QFile& file, data::Field fld, std::int32_t FieldSize);
    void WriteFromUnsizedBinary(QFile& file, data::Field fld);
    void WriteFromText(QFile& file, data::Field fld, std::int32_t FieldSize);
    void WriteFromUnsizedText(QFile& file, data::Field fld);
    void FileToBlob(QString FName, data::Field fld, std::int32_t Threshold = 1048576);
    void ReadToBinary(QFile& file, data::Field fld, std::int64_t ByteCount);
    void ReadToText(QFile& file, data::Field fld, std::int64_t CharCount);

private:
    friend struct clsVelmoraTestAccess;

    // Each import answers true when it ran to its end (its trap did not stop it).
    bool ProcessaProdutos(data::Connection& gconnGeral, data::Connection& gconnGestao, RunHost& host);
    bool ProcessaClientes(data::Connection& gconnGeral, data::Connection& gconnGestao, RunHost& host);
    bool ProcessaMovimentos(data::Connection& gconnGeral, data::Connection& gconnGestao, QString DataIni,
                            QString DataFim, std::int16_t& CutOffMovimentos, RunHost& StatusB);

    data::Variant CriaFicheiro(data::Connection& gconnGeral, const QString& DataIni, const QString& DataFim,
                               const QString& strFicheiro, const QString& strNomeFicheiro, const QString& strSistema,
                               bool blnManual, RunHost& host);
    // The file itself: header, sections and trailer written through one buffer to a temporary
    // file beside the target, renamed to the final name at the end. Errors reach CriaFicheiro's
    // trap and leave the previous file as it was.
    void EscreveFicheiro(data::Connection& gconnGeral, const QString& strFicheiro, const QString& strNomeFicheiro,
                         const QString& strSistema);
    QString PreencheEspacos(const QString& Texto, std::int16_t Largura);
    QString FormataNumero(const data::Variant& Valor, std::int16_t Largura, std::int16_t Decimais, bool ComSinal,
                          const QString& Caracter);
    data::Variant DataParaAAAAMMDD(const QString& Texto);
    // The end of CriaFicheiro once the file is on disk: its zipped copy as a HistFiles row and the
    // status reset. Errors reach CriaFicheiro's trap.
    void GuardaHistorico(data::Connection& gconnGeral, const QString& strFicheiro, const QString& strNomeFicheiro,
                         bool blnManual);

    // The common end of a step's error trap: default pointer, a log row over a connection of
    // its own (LancaLog) with the label and the error text, and the modal "Falha no Processo".
    void FalhaNoProcesso(RunHost& host, const QString& label, const QString& errorText);
    // The same for a caught error, with the record the step stopped on (kind and code, as
    // "Produto P1") after the error's own text, so that one bad row among thousands is found.
    void FalhaNoProcesso(RunHost& host, const QString& label, const std::exception& e, const QString& registo = {});
};
