#include "SmartStringLessThan.h"

#include <algorithm>

namespace {

// Where the trailing run of ASCII digits begins; the length when there is none.
qsizetype trailingDigitsStart(const QString& s)
{
    qsizetype i = s.size();
    while (i > 0 && s.at(i - 1) >= u'0' && s.at(i - 1) <= u'9')
        --i;
    return i;
}

// Compares two runs of decimal digits as unsigned numbers, whatever their length.
int compareDigits(QStringView a, QStringView b)
{
    auto significant = [](QStringView digits) {
        qsizetype i = 0;
        while (i < digits.size() && digits.at(i) == u'0')
            ++i;
        return digits.mid(i);
    };
    a = significant(a);
    b = significant(b);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

bool nSmartStringLessThan(const QString& a, const QString& b)
{
    const qsizetype aDigits = trailingDigitsStart(a);
    const qsizetype bDigits = trailingDigitsStart(b);
    const int prefixOrder
        = QString::localeAwareCompare(QStringView(a).left(aDigits), QStringView(b).left(bDigits));
    if (prefixOrder != 0)
        return prefixOrder < 0;
    return compareDigits(QStringView(a).mid(aDigits), QStringView(b).mid(bDigits)) < 0;
}

QStringList nSmartSorted(const QSet<QString>& names)
{
    QStringList list(names.cbegin(), names.cend());
    std::sort(list.begin(), list.end());
    std::stable_sort(list.begin(), list.end(), nSmartStringLessThan);
    return list;
}
