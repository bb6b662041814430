#include "QmdKelvoTypes.h"

namespace QmdKelvo {

void registerTickPointType()
{
    static const int id = qRegisterMetaType<TickPoint>("QmdKelvo::TickPoint");
    Q_UNUSED(id);
}

} // namespace QmdKelvo
