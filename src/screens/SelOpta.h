#pragma once
// SelOpta: the keyed option list. Its options come as a code list, entries of a key, ":", a
// text and ";" ("0:Todos os Dias;1:Segunda;..."); the list shows the texts and answers the
// selected entry's key.

#include <QComboBox>
#include <QString>

class SelOpta : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(QString Lista READ Lista WRITE setLista)
    Q_PROPERTY(QString Chave READ Chave WRITE setChave)
    Q_PROPERTY(QString Texto READ Texto)

public:
    explicit SelOpta(QWidget* parent = nullptr);

    // Fills the list and selects the first entry. A malformed list (an entry without ":")
    // leaves the list empty.
    QString Lista() const { return lista_; }
    void setLista(const QString& lista);

    // The selected entry's key ("" without entries). Setting it selects the entry whose key
    // equals the text, both upper-cased; without a match the first entry.
    QString Chave() const;
    void setChave(const QString& chave);

    // The selected entry's text.
    QString Texto() const { return currentText(); }

private:
    QString lista_;
};
