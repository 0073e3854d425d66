#pragma once
// Reaches the private steps of clsVelmora from tests: each member forwards to the step of the
// same name, with the same arguments.

#include <QString>
#include <cstdint>

#include "data/connection.h"
#include "extractor/RunHost.h"
#include "extractor/clsVelmora.h"

struct clsVelmoraTestAccess {
    // ---- the three imports ----
    static void ProcessaProdutos(clsVelmora& v, data::Connection& gconnGeral, data::Connection& gconnGestao,
                                 RunHost& host) {
        v.ProcessaProdutos(gconnGeral, gconnGestao, host);
    }
    static void ProcessaClientes(clsVelmora& v, data::Connection& gconnGeral, data::Connection& gconnGestao,
                                 RunHost& host) {
        v.ProcessaClientes(gconnGeral, gconnGestao, host);
    }
    static void ProcessaMovimentos(clsVelmora& v, data::Connection& gconnGeral, data::Connection& gconnGestao,
                                   const QString& DataIni, const QString& DataFim, std::int16_t CutOffMovimentos,
                                   RunHost& StatusB) {
        v.ProcessaMovimentos(gconnGeral, gconnGestao, DataIni, DataFim, CutOffMovimentos, StatusB);
    }

    // ---- the export writer and its formatters ----
    static void CriaFicheiro(clsVelmora& v, data::Connection& gconnGeral, const QString& DataIni,
                             const QString& DataFim, const QString& strFicheiro, const QString& strNomeFicheiro,
                             const QString& strSistema, bool blnManual, RunHost& host) {
        v.CriaFicheiro(gconnGeral, DataIni, DataFim, strFicheiro, strNomeFicheiro, strSistema, blnManual, host);
    }
    // The two halves of CriaFicheiro, without its trap: the file, then its history copy and reset.
    static void EscreveFicheiro(clsVelmora& v, data::Connection& gconnGeral, const QString& strFicheiro,
                                const QString& strNomeFicheiro, const QString& strSistema) {
        v.EscreveFicheiro(gconnGeral, strFicheiro, strNomeFicheiro, strSistema);
    }
    static void GuardaHistorico(clsVelmora& v, data::Connection& gconnGeral, const QString& strFicheiro,
                                const QString& strNomeFicheiro, bool blnManual) {
        v.GuardaHistorico(gconnGeral, strFicheiro, strNomeFicheiro, blnManual);
    }
    static QString PreencheEspacos(clsVelmora& v, const QString& Texto, std::int16_t Largura) {
        return v.PreencheEspacos(Texto, Largura);
    }
    static QString FormataNumero(clsVelmora& v, const data::Variant& Valor, std::int16_t Largura,
                                 std::int16_t Decimais, bool ComSinal, const QString& Caracter) {
        return v.FormataNumero(Valor, Largura, Decimais, ComSinal, Caracter);
    }
    static data::Variant DataParaAAAAMMDD(clsVelmora& v, const QString& Texto) { return v.DataParaAAAAMMDD(Texto); }
};
