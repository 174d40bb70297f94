#include "ui/blankdatabase.h"

#include <string>

#include <ibase.h>

#include <QFileInfo>

namespace ravelin::ui {

namespace {

// SQL string literal: quotes doubled.
std::string Quoted(const QString& text)
{
    std::string quoted = "'";
    for (const char c : text.toStdString()) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

QString StatusText(const ISC_STATUS* status)
{
    QString text;
    const ISC_STATUS* vector = status;
    char buffer[512];
    while (fb_interpret(buffer, sizeof buffer, &vector) > 0) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QString::fromLocal8Bit(buffer);
    }
    return text;
}

}  // namespace

QString CreateBlankDatabase(const QString& path, const QString& userName, const QString& password)
{
    if (QFileInfo::exists(path))
        return QStringLiteral("The file %1 already exists; choose it with Browse or give a new name.").arg(path);
    const std::string statement = "CREATE DATABASE " + Quoted(path) + " USER " + Quoted(userName) + " PASSWORD " +
                                  Quoted(password) + " PAGE_SIZE 4096";
    ISC_STATUS_ARRAY status{};
    isc_db_handle database = 0;
    isc_tr_handle transaction = 0;
    if (isc_dsql_execute_immediate(status, &database, &transaction, 0, statement.c_str(), 3, nullptr) != 0)
        return QStringLiteral("The database %1 could not be created:\n%2").arg(path, StatusText(status));
    isc_detach_database(status, &database);
    return {};
}

}  // namespace ravelin::ui
