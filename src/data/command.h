#pragma once
// ADO's Command with typed parameters. A text command binds its parameters, in order, to the
// "?" markers of the text; a stored-procedure command (CommandType 4) passes them by name.

#include <QString>
#include <vector>

#include "data/adoconstants.h"
#include "data/recordset.h"
#include "data/variant.h"

namespace data {

class Connection;

class Parameter {
public:
    Parameter() = default;
    Parameter(QString name, int type, int direction, long size, Variant value)
        : name_(std::move(name)), type_(type), direction_(direction), size_(size), value_(std::move(value)) {}

    const QString& Name() const { return name_; }
    void setName(const QString& n) { name_ = n; }
    int Type() const { return type_; }
    void setType(int t) { type_ = t; }
    int Direction() const { return direction_; }
    void setDirection(int d) { direction_ = d; }
    long Size() const { return size_; }
    void setSize(long s) { size_ = s; }
    const Variant& Value() const { return value_; }
    void setValue(const Variant& v) { value_ = v; }

private:
    QString name_;
    int type_ = ado::adEmpty;
    int direction_ = ado::adParamInput;
    long size_ = 0;
    Variant value_;
};

class ParameterList {
public:
    long Count() const { return static_cast<long>(items_.size()); }
    void Append(const Parameter& p);
    void Delete(long index);
    Parameter& Item(long index);               // 3265 when out of range
    Parameter& Item(const QString& name);      // without case; 3265 when absent
    Parameter& operator[](long index) { return Item(index); }
    Parameter& operator[](const QString& name) { return Item(name); }
    const std::vector<Parameter>& items() const { return items_; }

private:
    std::vector<Parameter> items_;
};

class Command {
public:
    Connection* ActiveConnection() const { return connection_; }
    // nullptr releases the connection ("Set ActiveConnection = Nothing").
    void setActiveConnection(Connection* connection) { connection_ = connection; }
    const QString& CommandText() const { return text_; }
    void setCommandText(const QString& text) { text_ = text; }
    long CommandType() const { return type_; }
    void setCommandType(long type) { type_ = type; }
    long CommandTimeout() const { return timeout_; }
    void setCommandTimeout(long seconds) { timeout_ = seconds; }

    ParameterList& Parameters() { return parameters_; }
    Parameter CreateParameter(const QString& name = QString(), int type = ado::adEmpty,
                              int direction = ado::adParamInput, long size = 0, const Variant& value = Variant()) const {
        return Parameter(name, type, direction, size, value);
    }

    // Runs the command on its connection (3709 without one). Options as Connection::Execute.
    Recordset Execute(long* recordsAffected = nullptr, long options = -1);

private:
    Connection* connection_ = nullptr;
    QString text_;
    long type_ = ado::adCmdText;
    long timeout_ = 30;
    ParameterList parameters_;
};

}  // namespace data
