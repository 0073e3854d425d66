#pragma once
// Inteiro: the integer entry control, a 16-bit value between Minimo and Maximo. It takes
// digits, and a leading minus when Minimo is below 0; a keystroke that would break that, or
// make the text longer than a 16-bit number needs, is refused. When the user leaves the field
// the text becomes its value: no number counts as 0, above Maximo becomes Maximo, below Minimo
// becomes Minimo.

#include <QLineEdit>
#include <QVariant>
#include <cstdint>

class Inteiro : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QVariant Minimo READ Minimo WRITE setMinimo)
    Q_PROPERTY(QVariant Maximo READ Maximo WRITE setMaximo)
    Q_PROPERTY(QVariant Valor READ Valor WRITE setValor)

public:
    explicit Inteiro(QWidget* parent = nullptr);

    // The limits (16-bit integers; a non-numeric value counts as 0). Changing a limit leaves
    // the value shown as it is.
    QVariant Minimo() const { return QVariant::fromValue(minimo_); }
    void setMinimo(const QVariant& value);
    QVariant Maximo() const { return QVariant::fromValue(maximo_); }
    void setMaximo(const QVariant& value);

    // The value (a 16-bit integer): a non-numeric value counts as 0 and one above Maximo
    // becomes Maximo.
    QVariant Valor() const { return QVariant::fromValue(valor()); }
    void setValor(const QVariant& value);
    std::int16_t valor() const;

private:
    void aoSair();
    bool obedece(const QString& text) const;

    std::int16_t minimo_ = 0;
    std::int16_t maximo_ = 32767;
};
