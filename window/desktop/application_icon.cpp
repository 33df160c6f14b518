#include "window/desktop/application_icon.h"

#include <QPixmap>

namespace quirlomat {

namespace {
#include "window/quirlomat.xpm"
}  // namespace

QIcon ApplicationIcon() {
    return QIcon(QPixmap(quirlomat_xpm));
}

}  // namespace quirlomat
