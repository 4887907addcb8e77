#include "LibraryPane.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Long enough to take a burst of changes (a backup written, renamed into place) as one.
constexpr int kSettleMs = 150;

} // namespace

LibraryPane::LibraryPane(QWidget* parent)
    : QDockWidget(QStringLiteral("Library"), parent), m_filter(new QLineEdit), m_note(new QLabel),
      m_table(new QTableView) {
    setObjectName(QStringLiteral("dock_library"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    m_proxy.setSourceModel(&m_model);

    m_filter->setPlaceholderText(QStringLiteral("Filter by name or type"));
    m_filter->setAccessibleName(QStringLiteral("Library filter"));
    m_filter->setClearButtonEnabled(true);
    for (QToolButton* clear : m_filter->findChildren<QToolButton*>()) {
        clear->setAccessibleName(QStringLiteral("Clear filter")); // else a nameless button
    }
    connect(m_filter, &QLineEdit::textChanged, &m_proxy, &LibraryFilter::setText);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_note->setAccessibleName(QStringLiteral("Library folder"));

    m_table->setModel(&m_proxy);
    m_table->setAccessibleName(QStringLiteral("Library"));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    m_table->setTextElideMode(Qt::ElideMiddle); // the subfolder and the date both show
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(LibraryModel::kModified, Qt::DescendingOrder);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    // Fixed widths from the font: measuring contents would visit every row of a large library.
    const QFontMetrics metrics = m_table->fontMetrics();
    const auto width = [&](const char* sample) { return metrics.horizontalAdvance(sample) + 16; };
    m_table->setColumnWidth(LibraryModel::kName, width("STRATA 500 - Presets 2026-12-09.mid"));
    m_table->setColumnWidth(LibraryModel::kType, width("STRATA 500 - Presets S05"));
    m_table->setColumnWidth(LibraryModel::kMessages, width("Messages"));
    m_table->setColumnWidth(LibraryModel::kSize, width("10,000,000"));
    m_table->setColumnWidth(LibraryModel::kModified, width("2026-12-09 14:00"));
    // Room for the name and the type beside the event table.
    m_table->setMinimumWidth(width("STRATA 500 - Presets 2026-12-09.mid") +
                             width("STRATA 500 - Presets S05"));
    // Double-click, or Enter on the row that has the keyboard.
    connect(m_table, &QTableView::activated, this, [this](const QModelIndex& index) {
        const QModelIndex source = m_proxy.mapToSource(index);
        if (source.isValid()) {
            const std::string& path = m_model.entry(source.row()).path;
            Q_EMIT openRequested(QString::fromStdString((m_folder / path).string()));
        }
    });

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_filter);
    layout->addWidget(m_note);
    layout->addWidget(m_table, 1);
    setWidget(content);

    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, &m_reader, &LibraryReader::rescan);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_reader, &LibraryReader::listed, this, &LibraryPane::listed);
}

void LibraryPane::setFolder(const std::filesystem::path& folder) {
    m_folder = folder;
    m_listings = 0;
    m_model.update({});
    m_note->setText(QString::fromStdString(folder.string()));
    m_reader.setFolder(folder);
}

QString LibraryPane::currentFile() const {
    const QModelIndex source = m_proxy.mapToSource(m_table->currentIndex());
    return source.isValid()
               ? QString::fromStdString((m_folder / m_model.entry(source.row()).path).string())
               : QString();
}

void LibraryPane::listed(const std::vector<library::Entry>& entries, const QStringList& folders,
                         const QString& error) {
    ++m_listings;
    m_model.update(entries);
    const QString where = QString::fromStdString(m_folder.string());
    if (error.isEmpty()) {
        m_note->setText(where);
        QStringList paths = folders;
        for (const library::Entry& e : entries) {
            paths.push_back(QString::fromStdString((m_folder / e.path).string()));
        }
        watch(paths);
        return;
    }
    // A folder that is not there yet is made by the first Save into it: its parent says when.
    std::error_code missing;
    const bool absent = !std::filesystem::exists(m_folder, missing);
    m_note->setText(
        absent ? QStringLiteral("%1 (made when the first backup is saved there)").arg(where)
               : error);
    const std::filesystem::path parent = m_folder.parent_path();
    watch(absent && std::filesystem::is_directory(parent, missing)
              ? QStringList{QString::fromStdString(parent.string())}
              : QStringList{});
}

void LibraryPane::watch(QStringList paths) {
    paths.sort();
    QStringList watched = m_watcher.files() + m_watcher.directories();
    watched.sort();
    if (paths == watched) {
        return;
    }
    if (!watched.isEmpty()) {
        m_watcher.removePaths(watched);
    }
    if (!paths.isEmpty()) {
        m_watcher.addPaths(paths);
    }
}
