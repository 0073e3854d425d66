#pragma once
// Edatas: the date entry control. It takes digits and the date separator (the regional one;
// the separator the system had before an empty one was repaired, "/", "-" and "." are typed
// as it), at most ten characters. When the user leaves the field the date is read as the
// regional short date through PData, which refuses an impossible date with its own message;
// a good date is shown again in the regional short date, a refused one stays as typed for the
// user to correct and gives no date.

#include <QLineEdit>
#include <QString>

class Edatas : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString Data READ Data WRITE setData)

public:
    explicit Edatas(QWidget* parent = nullptr);

    // The date as "yyyy-mm-dd" ("" when the field holds no date). Setting a text that is no
    // such date empties the field.
    QString Data() const { return data_; }
    void setData(const QString& amd);

    // Reads what the user typed, if it changed since it was last read; false when the field
    // holds text that is no date.
    bool Valida();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString data_;
    bool porLer_ = false;  // typed since the last reading
    bool aLer_ = false;    // a reading is showing its message
};
