#include "invite/invitefonts.h"

QFont inviteRowFont(int points, bool bold)
{
    QFont font;
    // The program's face is a Windows font; elsewhere the nearest Korean-capable sans is used.
    font.setFamilies({QStringLiteral("맑은 고딕"), QStringLiteral("Malgun Gothic"),
                      QStringLiteral("Noto Sans CJK KR"), QStringLiteral("NanumGothic"),
                      QStringLiteral("sans-serif")});
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}
