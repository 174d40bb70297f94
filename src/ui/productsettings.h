#pragma once

// The product key: read-only settings an installation provides (installation
// folder, web addresses, version). The program never writes them. Read from
// INI files, later files overriding earlier ones per value: by default the
// system-wide /etc/ravelin/ravelin.conf, then the user's
// ~/.config/ravelin/ravelin.conf. A missing file or value reads as empty.
//
// [Ravelin]
// Path=/usr/share/ravelin
// KB=https://...
// SupTick=https://...
// Version=0.1.0
// ExeName=ravelin
// Update=...

#include <QString>
#include <QStringList>

namespace ravelin::ui {

class ProductSettings {
public:
    // The default files, in reading order.
    static QStringList DefaultFiles();

    ProductSettings() : ProductSettings(DefaultFiles()) {}
    explicit ProductSettings(QStringList files) : files(std::move(files)) {}

    // The value under the product group, empty when no file names it.
    QString Value(const QString& name) const;
    // Whether at least one of the files exists (the key can be opened).
    bool Exists() const;

    // The help manual: the installation folder's help.html when Path names
    // one that holds it, otherwise the manual shipped beside the program.
    QString HelpFile() const;
    // The licence text: Path + "/eula.dat" when the product key exists,
    // otherwise "rvln_Eula.dat" beside the program.
    QString EulaFile() const;

private:
    QStringList files;
};

}  // namespace ravelin::ui
