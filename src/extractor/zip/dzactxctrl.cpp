#include "extractor/zip/dzactxctrl.h"

#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>

#include "platform/runtime_error.h"
#include "util/text.h"

namespace DZACTXLibCtl {

namespace {

constexpr long kErrNoSuchMember = 438;
constexpr long kErrReadOnly = 383;

[[noreturn]] void raiseNoSuchMember() {
    throw platform::RuntimeError(kErrNoSuchMember, QStringLiteral("Object doesn't support this property or method"));
}

// The writer encloses the path in double quotes so that blanks in it survive; the control
// takes one file, so a quoted path is simply unwrapped.
QString unquoted(const QString& item) {
    QString s = util::trimBlanks(item);
    if (s.size() >= 2 && s.startsWith(QLatin1Char('"')) && s.endsWith(QLatin1Char('"'))) s = s.mid(1, s.size() - 2);
    return s;
}

}  // namespace

dzactxctrl::dzactxctrl() = default;

data::Variant dzactxctrl::property(int number) const {
    switch (number) {
        case kZipFile:
            return zipFile_;
        case kItem:
            return item_;
        case kLevel:
            return level_;
        case kWorkFolder:
            return workFolder_;
        case kOption15:
        case kOption17:
        case kOption28:
        case kOption46: {
            const auto it = options_.find(number);
            return it != options_.end() && it->second;
        }
        case kAction:
            return action_;
        case kErrorNumber:
            return errorNumber_;
        case kErrorText:
            return errorText_;
        default:
            raiseNoSuchMember();
    }
}

void dzactxctrl::setProperty(int number, const data::Variant& value) {
    switch (number) {
        case kZipFile:
            zipFile_ = value.toString();
            return;
        case kItem:
            item_ = value.toString();
            return;
        case kLevel:
            level_ = value.toInt16();
            return;
        case kWorkFolder:
            workFolder_ = value.toString();
            return;
        case kOption15:
        case kOption17:
        case kOption28:
        case kOption46:
            options_[number] = value.toBool();
            return;
        case kAction:
            action_ = value.toInt16();
            if (action_ == kActionAdd) {
                Compress();
            } else {
                Fail(kErrBadAction, QStringLiteral("Action %1 is not supported.").arg(action_));
            }
            return;
        case kErrorNumber:
        case kErrorText:
            throw platform::RuntimeError(kErrReadOnly, QStringLiteral("Set not supported (read-only property)"));
        default:
            raiseNoSuchMember();
    }
}

void dzactxctrl::Fail(std::int32_t number, const QString& text) {
    errorNumber_ = number;
    errorText_ = text;
}

void dzactxctrl::Compress() {
    errorNumber_ = kErrNone;
    errorText_.clear();

    const QString source = unquoted(item_);
    const QFileInfo sourceInfo(source);
    const QFileInfo zipInfo(zipFile_);
    if (zipFile_.isEmpty()) return Fail(kErrNoZipFile, QStringLiteral("No zip file was given."));
    if (!source.isEmpty() && zipInfo.exists() && zipInfo.canonicalFilePath() == sourceInfo.canonicalFilePath()) {
        return Fail(kErrCannotWrite, QStringLiteral("The zip file cannot be the file to compress: %1").arg(source));
    }

    // Whatever an earlier action left at the path goes first, so that whatever fails below,
    // no zip file is left that could be taken for this one.
    if ((zipInfo.exists() || zipInfo.isSymLink()) && !QFile::remove(zipFile_)) {
        return Fail(kErrCannotWrite, QStringLiteral("Cannot replace the zip file: %1").arg(zipFile_));
    }

    if (source.isEmpty()) return Fail(kErrNoItem, QStringLiteral("No file to compress was given."));
    if (!sourceInfo.isFile() || !sourceInfo.isReadable()) {
        return Fail(kErrItemMissing, QStringLiteral("Cannot read the file to compress: %1").arg(source));
    }

    QTemporaryFile part(zipInfo.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    if (!part.open()) {
        return Fail(kErrCannotWrite,
                    QStringLiteral("Cannot create the zip file %1: %2").arg(zipFile_, part.errorString()));
    }
    part.close();
    const QByteArray partName = QFile::encodeName(part.fileName());

    int openError = 0;
    zip_t* za = zip_open(partName.constData(), ZIP_CREATE | ZIP_TRUNCATE, &openError);
    if (za == nullptr) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, openError);
        const QString why = QString::fromUtf8(zip_error_strerror(&ze));
        zip_error_fini(&ze);
        return Fail(kErrCannotWrite, QStringLiteral("Cannot create the zip file %1: %2").arg(zipFile_, why));
    }

    const QByteArray sourceName = QFile::encodeName(sourceInfo.absoluteFilePath());
    zip_source_t* src = zip_source_file(za, sourceName.constData(), 0, -1);
    zip_int64_t index = -1;
    if (src != nullptr) {
        index = zip_file_add(za, sourceInfo.fileName().toUtf8().constData(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) zip_source_free(src);
    }
    if (index < 0) {
        const QString why = QString::fromUtf8(zip_strerror(za));
        zip_discard(za);
        return Fail(kErrItemMissing, QStringLiteral("Cannot add %1 to the zip file: %2").arg(source, why));
    }

    const bool store = level_ == 0;
    const zip_uint32_t level = (level_ >= 1 && level_ <= 9) ? static_cast<zip_uint32_t>(level_) : 0;
    if (zip_set_file_compression(za, static_cast<zip_uint64_t>(index), store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, level) !=
        0) {
        const QString why = QString::fromUtf8(zip_strerror(za));
        zip_discard(za);
        return Fail(kErrCannotWrite, QStringLiteral("Cannot compress %1: %2").arg(source, why));
    }

    // The source is read here, while the archive is written.
    if (zip_close(za) != 0) {
        const QString why = QString::fromUtf8(zip_strerror(za));
        zip_discard(za);
        return Fail(kErrCannotWrite, QStringLiteral("Cannot write the zip file %1: %2").arg(zipFile_, why));
    }

    const QByteArray finalName = QFile::encodeName(zipFile_);
    if (std::rename(partName.constData(), finalName.constData()) != 0) {
        return Fail(kErrCannotWrite, QStringLiteral("Cannot write the zip file %1").arg(zipFile_));
    }
    part.setAutoRemove(false);
}

}  // namespace DZACTXLibCtl
