#pragma once
// The message the mail component hands to the SMTP server: an Internet message with CR LF
// line ends. Texts are UTF-8. A header text that is not plain short ASCII (a subject with
// accents, a display name) goes as RFC 2047 encoded words; a body that is not plain 7-bit
// text goes base64 with charset UTF-8; every attachment goes base64 as
// application/octet-stream under its own file name (RFC 2231 for names that are not ASCII).
// Dot-stuffing is not done here: the SMTP transfer does it on the wire.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace mail {

struct MimeAttachment {
    QString fileName;  // the name the receiver sees, without folder
    QByteArray content;
};

struct MimeFields {
    QString from;  // "addr" or "Name <addr>"
    QString to;    // recipient lists, entries separated by "," or ";"
    QString cc;
    QString subject;
    QString body;
    QString receiptTo;  // address for a read receipt; empty for none
    QDateTime date;     // the Date header; invalid means now
    QString messageId;  // without angle brackets; empty makes one
};

// Splits a recipient text at "," and ";" that stand outside double quotes and angle
// brackets; entries are trimmed, empty ones dropped.
QStringList splitAddresses(const QString& list);

// The mailbox of one entry: the text between "<" and ">" when there is one, otherwise the
// whole trimmed entry. Empty when the mailbox is empty or holds a character that cannot
// stand in an SMTP command (blanks, controls, "<", ">", ",", ";").
QString bareAddress(const QString& entry);

// RFC 2047 "B" encoded words of UTF-8 text, each at most 75 characters, never splitting a
// character, joined by CR LF and a blank (folding white space between words).
QByteArray encodedWords(const QString& text);

// The Subject header's value: the text itself when it is printable ASCII that fits one line,
// otherwise encoded words.
QByteArray subjectHeaderValue(const QString& subject);

// Base64 in lines of 76 characters, each ended by CR LF.
QByteArray base64Lines(const QByteArray& bytes);

// The whole message. The caller has checked the addresses.
QByteArray buildMessage(const MimeFields& fields, const std::vector<MimeAttachment>& attachments);

}  // namespace mail
