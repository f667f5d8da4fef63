#include "LogoPicture.h"

#include "project/ProgramFolder.h"

#include <QFile>
#include <QPixmap>

namespace quillet {

LogoPicture::LogoPicture(QWidget* parent) : QLabel(parent)
{
    setObjectName("Image1");
    setFixedSize(140, 223);
    setScaledContents(true);
    setFrameShape(QFrame::NoFrame);
}

bool LogoPicture::reload()
{
    QPixmap picture;
    // The file is a Windows bitmap whatever its extension says.
    if (!picture.load(QFile::decodeName(logoPath().c_str()), "BMP")) {
        clear();
        return false;
    }
    setPixmap(picture);
    return true;
}

void LogoPicture::showEvent(QShowEvent* event)
{
    reload();
    QLabel::showEvent(event);
}

} // namespace quillet
