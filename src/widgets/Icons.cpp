#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <map>

namespace quillet {

namespace {

// A one-pixel outline of one colour around a fill of another.
void setOutline(QPainter& p, const QColor& outline, const QColor& fill)
{
    p.setPen(outline);
    p.setBrush(fill);
}

// The two-pixel line of marks and arrows.
void setStroke(QPainter& p, const QColor& colour)
{
    p.setPen(QPen(colour, 2));
}

void drawFolder(QPainter& p)
{
    setOutline(p, QColor(150, 110, 20), QColor(240, 200, 80));
    p.drawRect(1, 4, 13, 10);
    p.drawRect(1, 2, 6, 2);
}

void drawFace(QPainter& p)
{
    setOutline(p, QColor(120, 90, 30), QColor(250, 220, 120));
    p.drawEllipse(2, 1, 11, 12);
    p.setBrush(Qt::black);
    p.drawPoint(5, 5);
    p.drawPoint(9, 5);
    p.drawArc(4, 5, 7, 5, 200 * 16, 140 * 16);
}

void drawServer(QPainter& p)
{
    setOutline(p, QColor(60, 60, 70), QColor(190, 195, 205));
    p.drawRect(3, 1, 9, 13);
    p.setPen(QColor(40, 160, 40));
    p.drawLine(5, 4, 9, 4);
    p.drawLine(5, 7, 9, 7);
}

void drawCheck(QPainter& p)
{
    setStroke(p, QColor(220, 20, 20));
    p.drawLine(8, 11, 10, 14);
    p.drawLine(10, 14, 15, 7);
}

void drawNotePad(QPainter& p)
{
    setOutline(p, QColor(90, 90, 90), Qt::white);
    p.drawRect(2, 1, 11, 14);
    p.setPen(QColor(80, 120, 200));
    for (int y = 4; y < 14; y += 3)
        p.drawLine(4, y, 11, y);
}

void drawEnvelope(QPainter& p)
{
    setOutline(p, QColor(90, 90, 90), QColor(255, 250, 230));
    p.drawRect(1, 3, 14, 10);
    p.drawLine(1, 3, 8, 9);
    p.drawLine(15, 3, 8, 9);
}

QPixmap blank()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A simple glyph for an action: a base picture and an optional overlay letter or mark.
enum class Base {
    Folder,
    Face,
    Server,
    NotePad,
    Envelope,
    Disk,
    Page,
    Gear,
    Help,
    Door,
    Globe,
    Magnifier,
    // The send window's commands.
    SendEnvelope,
    Scissors,
    TwoPages,
    Clipboard,
    PaperClip,
    UndoArrow,
    Cross,
    TemplateInsert
};

void drawBase(QPainter& p, Base base)
{
    switch (base) {
    case Base::Folder: drawFolder(p); break;
    case Base::Face: drawFace(p); break;
    case Base::Server: drawServer(p); break;
    case Base::NotePad: drawNotePad(p); break;
    case Base::Envelope: drawEnvelope(p); break;
    case Base::Disk:
        setOutline(p, QColor(30, 40, 90), QColor(70, 90, 180));
        p.drawRect(1, 1, 13, 13);
        p.setBrush(Qt::white);
        p.drawRect(4, 2, 7, 4);
        break;
    case Base::Page:
        setOutline(p, QColor(90, 90, 90), Qt::white);
        p.drawRect(3, 1, 10, 14);
        break;
    case Base::Gear:
        setOutline(p, QColor(60, 60, 60), QColor(160, 160, 170));
        p.drawEllipse(2, 2, 12, 12);
        p.setBrush(Qt::white);
        p.drawEllipse(6, 6, 4, 4);
        break;
    case Base::Help:
        setOutline(p, QColor(20, 60, 150), QColor(80, 130, 230));
        p.drawEllipse(1, 1, 14, 14);
        p.setPen(Qt::white);
        p.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, "?");
        break;
    case Base::Door:
        setOutline(p, QColor(90, 50, 20), QColor(170, 110, 60));
        p.drawRect(4, 1, 8, 14);
        p.setBrush(Qt::yellow);
        p.drawEllipse(9, 8, 2, 2);
        break;
    case Base::Globe:
        setOutline(p, QColor(20, 90, 60), QColor(90, 180, 220));
        p.drawEllipse(1, 1, 14, 14);
        p.drawLine(1, 8, 15, 8);
        p.drawEllipse(5, 1, 6, 14);
        break;
    case Base::SendEnvelope: {
        drawEnvelope(p);
        setStroke(p, QColor(20, 140, 40));
        p.drawLine(7, 13, 14, 13);
        p.drawLine(11, 10, 14, 13);
        p.drawLine(11, 16, 14, 13);
        break;
    }
    case Base::Scissors: {
        setStroke(p, QColor(60, 60, 60));
        p.drawLine(4, 1, 10, 10);
        p.drawLine(12, 1, 6, 10);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(200, 30, 30), 2));
        p.drawEllipse(2, 10, 4, 4);
        p.drawEllipse(10, 10, 4, 4);
        break;
    }
    case Base::TwoPages:
        setOutline(p, QColor(90, 90, 90), QColor(230, 230, 230));
        p.drawRect(1, 1, 8, 10);
        p.setBrush(Qt::white);
        p.drawRect(6, 5, 8, 10);
        break;
    case Base::Clipboard:
        setOutline(p, QColor(90, 60, 20), QColor(190, 140, 80));
        p.drawRect(2, 2, 11, 13);
        p.setBrush(Qt::white);
        p.drawRect(4, 5, 7, 8);
        p.setBrush(QColor(120, 120, 120));
        p.drawRect(5, 1, 5, 3);
        break;
    case Base::PaperClip: {
        setStroke(p, QColor(70, 70, 90));
        p.setBrush(Qt::NoBrush);
        QPainterPath clip;
        clip.moveTo(10, 5);
        clip.lineTo(10, 12);
        clip.arcTo(6, 10, 4, 4, 0, -180);
        clip.lineTo(6, 3);
        clip.arcTo(6, 1, 6, 4, 180, -180);
        clip.lineTo(12, 12);
        p.drawPath(clip);
        break;
    }
    case Base::UndoArrow: {
        setStroke(p, QColor(30, 70, 170));
        p.setBrush(Qt::NoBrush);
        p.drawArc(3, 4, 10, 9, 90 * 16, -240 * 16);
        p.drawLine(3, 5, 8, 2);
        p.drawLine(3, 5, 8, 8);
        break;
    }
    case Base::Cross: {
        setStroke(p, QColor(190, 30, 30));
        p.drawLine(3, 3, 13, 13);
        p.drawLine(13, 3, 3, 13);
        break;
    }
    case Base::TemplateInsert: {
        drawNotePad(p);
        setStroke(p, QColor(20, 140, 40));
        p.drawLine(8, 12, 15, 12);
        p.drawLine(12, 9, 15, 12);
        p.drawLine(12, 15, 15, 12);
        break;
    }
    case Base::Magnifier: {
        setStroke(p, QColor(60, 60, 60));
        p.setBrush(QColor(200, 230, 255));
        p.drawEllipse(2, 2, 8, 8);
        p.drawLine(9, 9, 14, 14);
        break;
    }
    }
}

void drawMark(QPainter& p, QChar mark)
{
    if (mark.isNull())
        return;
    QFont font = p.font();
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);
    const QRect box(8, 8, 8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(mark == '+' ? QColor(40, 150, 40) : mark == 'x' ? QColor(200, 30, 30) : QColor(40, 80, 170));
    p.drawEllipse(box);
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, QString(mark));
}

QIcon paintStateIcon(StateIcon icon)
{
    QPixmap pixmap = blank();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (icon) {
    case StateIcon::Group: drawFolder(p); break;
    case StateIcon::DisabledRecipient: drawFace(p); break;
    case StateIcon::EnabledRecipient:
        drawFace(p);
        drawCheck(p);
        break;
    case StateIcon::DisabledServer: drawServer(p); break;
    case StateIcon::EnabledServer:
        drawServer(p);
        drawCheck(p);
        break;
    case StateIcon::NotePad: drawNotePad(p); break;
    case StateIcon::Template: drawEnvelope(p); break;
    }
    p.end();
    return QIcon(pixmap);
}

} // namespace

QIcon stateIcon(StateIcon icon)
{
    static const QIcon icons[] = {
        paintStateIcon(StateIcon::Group),
        paintStateIcon(StateIcon::DisabledRecipient),
        paintStateIcon(StateIcon::EnabledRecipient),
        paintStateIcon(StateIcon::DisabledServer),
        paintStateIcon(StateIcon::EnabledServer),
        paintStateIcon(StateIcon::NotePad),
        paintStateIcon(StateIcon::Template),
    };
    return icons[static_cast<int>(icon)];
}

QIcon paintActionIcon(const QString& actionName)
{
    struct Glyph {
        Base base;
        char mark;
    };
    static const std::map<QString, Glyph> glyphs = {
        {"CreateDefaultAction", {Base::Page, 'D'}},
        {"NewProjectAction", {Base::Page, '+'}},
        {"OpenDefaultAction", {Base::Folder, 'D'}},
        {"OpenProjectAction", {Base::Folder, 0}},
        {"SaveProjectAction", {Base::Disk, 0}},
        {"SaveAsAction", {Base::Disk, 'A'}},
        {"ProjectPropAction", {Base::Page, 'i'}},
        {"ExitAction", {Base::Door, 0}},
        {"HowToUseAction", {Base::Help, 0}},
        {"HomePageAction", {Base::Globe, 0}},
        {"MailToUsAction", {Base::Envelope, '@'}},
        {"AboutAction", {Base::Help, 'i'}},
        {"ProgOptionsAction", {Base::Gear, 0}},
        {"CustomizeActionBars", {Base::Gear, 'T'}},
        {"MailServerAction", {Base::Envelope, 'S'}},
        {"NewRecipientGroupAction", {Base::Folder, '+'}},
        {"EditGroupAction", {Base::Folder, 'e'}},
        {"DeleteGroupAction", {Base::Folder, 'x'}},
        {"EMailToGroupAction", {Base::Envelope, 'G'}},
        {"NewRecipientAction", {Base::Face, '+'}},
        {"EditRecipientAction", {Base::Face, 'e'}},
        {"DeleteRecipientAction", {Base::Face, 'x'}},
        {"EnableRecipientAction", {Base::Face, 'v'}},
        {"SelectAllAction", {Base::Face, '*'}},
        {"CopyToGroupAction", {Base::Folder, 'c'}},
        {"MoveToGroupAction", {Base::Folder, 'm'}},
        {"EMailToCurrentAction", {Base::Envelope, 0}},
        {"NewSMTPAction", {Base::Server, '+'}},
        {"EditSMTPAction", {Base::Server, 'e'}},
        {"DelSMTPAction", {Base::Server, 'x'}},
        {"EnableSMTPAction", {Base::Server, 'v'}},
        {"NewTemplateAction", {Base::NotePad, '+'}},
        {"EditTemplateAction", {Base::NotePad, 'e'}},
        {"DeltemplateAction", {Base::NotePad, 'x'}},
        {"FindRecipientAction", {Base::Magnifier, 0}},
        {"FindInFilesAction", {Base::Magnifier, 'f'}},
        {"ExportToAHTMLAction", {Base::Globe, 'h'}},
        // The send window.
        {"InsertFromTemplateAction", {Base::TemplateInsert, 0}},
        {"SendMailAction", {Base::SendEnvelope, 0}},
        {"UndoAction", {Base::UndoArrow, 0}},
        {"CutAction", {Base::Scissors, 0}},
        {"CopyAction", {Base::TwoPages, 0}},
        {"PasteAction", {Base::Clipboard, 0}},
        {"AttachAction", {Base::PaperClip, 0}},
        {"OptionsAction", {Base::Gear, 0}},
        {"CloseAction", {Base::Cross, 0}},
        {"ImportRecipientsAction", {Base::Face, 'i'}},
        {"ExportRecipientsAction", {Base::Face, 'o'}},
        {"RunsAction", {Base::Envelope, 'R'}},
    };
    QPixmap pixmap = blank();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const auto found = glyphs.find(actionName);
    const Glyph glyph = found != glyphs.end() ? found->second : Glyph{Base::Page, 0};
    drawBase(p, glyph.base);
    drawMark(p, glyph.mark ? QChar(glyph.mark) : QChar());
    p.end();
    return QIcon(pixmap);
}

QIcon separatorIcon()
{
    QPixmap pixmap = blank();
    QPainter p(&pixmap);
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.drawLine(1, 8, 14, 8);
    p.end();
    return QIcon(pixmap);
}

} // namespace quillet
