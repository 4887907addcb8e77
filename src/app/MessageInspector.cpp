#include "MessageInspector.h"

#include "HexDumpModel.h"
#include "dumptypes/MessageHeader.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

MessageInspector::MessageInspector(const Dump& dump, const KorvoDumptype& type, std::size_t index,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(new HexDumpModel(dump.at(index), this)),
      m_lines(new QListView(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Message %1").arg(index));

    auto* fields = new QFormLayout;
    for (const HeaderLine& line : headerLines(decodeHeader(dump, type, index))) {
        auto* value = new QLabel(fromUtf8(line.value), this);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        fields->addRow(fromUtf8(line.label + ":"), value);
    }

    // One row a line, all of one height: only the lines in sight are ever made.
    m_lines->setModel(m_model);
    m_lines->setAccessibleName(QStringLiteral("Hex dump"));
    m_lines->setUniformItemSizes(true);
    m_lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_lines->setSelectionMode(QAbstractItemView::NoSelection);
    const QFontMetrics metrics(m_lines->font());
    m_lines->setMinimumWidth(metrics.horizontalAdvance(QString(80, QLatin1Char('0'))));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* copyButton =
        buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
    copyButton->setToolTip(QStringLiteral("Put the hex dump on the clipboard (Ctrl+C)"));
    connect(copyButton, &QPushButton::clicked, this, [this] { copy(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    new QShortcut(QKeySequence::Copy, this, [this] { copy(); });
    new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] { close(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_lines, 1);
    layout->addWidget(buttons);
    resize(sizeHint().width(), 520);
}

QString MessageInspector::hexDump() const {
    return m_model->allLines();
}

void MessageInspector::copy() const {
    QGuiApplication::clipboard()->setText(hexDump());
}
