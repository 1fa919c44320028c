#include "filechooser.h"

#include <QDir>
#include <QFileDialog>

using namespace Qt::StringLiterals;

namespace {

// Phones name their files in lower case, some desktop programs in upper case.
const QString Filtro = u"vCard (*.vcf *.VCF)"_s;

} // namespace

QStringList DialogFileChooser::escolheParaLer(QWidget* janela)
{
    QFileDialog dialogo(janela, u"Importar contatos (vCard)"_s, QDir::homePath(), Filtro);
    dialogo.setObjectName(u"dlgImportar"_s);
    dialogo.setFileMode(QFileDialog::ExistingFiles);
    return dialogo.exec() == QDialog::Accepted ? dialogo.selectedFiles() : QStringList();
}

QString DialogFileChooser::escolheParaGravar(QWidget* janela, const QString& sugestao)
{
    QFileDialog dialogo(janela, u"Exportar contatos (vCard)"_s, QDir::homePath(), Filtro);
    dialogo.setObjectName(u"dlgExportar"_s);
    dialogo.setAcceptMode(QFileDialog::AcceptSave);
    dialogo.setDefaultSuffix(u"vcf"_s);
    dialogo.selectFile(sugestao);
    return dialogo.exec() == QDialog::Accepted ? dialogo.selectedFiles().value(0) : QString();
}
