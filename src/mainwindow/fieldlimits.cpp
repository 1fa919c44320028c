#include "fieldlimits.h"

using namespace Qt::StringLiterals;

const QString CharsPermitidos = u"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                u"ÀÁÂÃÄÈÉÊËÌÍÎÏÒÓÔÕÖÙÚÛÜàáâãäèéêëìíîïòóôõöùúûüÑñÇç"
                                u".,:;<>=()'-+/\\@&*{}[]!?|_ \r\n"_s;

QString LimitaChars(const qint16& Key)
{
    QString resultado = QString::number(Key);
    if (Key == 8)
        return resultado;
    // Codes 0 to 255 are the Latin-1 characters of the same number; a negative code is no
    // character at all.
    if (Key < 0 || !CharsPermitidos.contains(QChar(char16_t(Key)), Qt::CaseSensitive))
        resultado = u"0"_s;
    return resultado;
}

qint16 CharsRestantes(QString Texto, qint16 Limite)
{
    qint16 n = 0;
    for (const QChar c : std::as_const(Texto)) {
        // Unicode's own case mapping rather than the locale's: under Turkish rules "I" would
        // become a dotless i, which is not in the set, and stop counting.
        if (CharsPermitidos.contains(c.toLower(), Qt::CaseSensitive))
            ++n;
    }
    return qint16(Limite - n);
}
