#include "resources/mtresources.h"

#include <QtGlobal>

void mtInitResources()
{
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(sounds);
    Q_INIT_RESOURCE(translations);
}
