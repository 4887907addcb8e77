#include "LibraryPane.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

LibraryPane::LibraryPane(QWidget* parent)
    : QDockWidget(QStringLiteral("Library"), parent), m_filter(new QLineEdit), m_note(new QLabel),
      m_table(new QTableView) {
    setObjectName(QStringLiteral("dock_library"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);

    m_filter->setPlaceholderText(QStringLiteral("Filter by name or type"));
    m_filter->setAccessibleName(QStringLiteral("Library filter"));
    m_filter->setClearButtonEnabled(true);
    for (QToolButton* clear : m_filter->findChildren<QToolButton*>()) {
        clear->setAccessibleName(QStringLiteral("Clear filter")); // else a nameless button
    }
    connect(m_filter, &QLineEdit::textChanged, this, &LibraryPane::arrange);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_note->setAccessibleName(QStringLiteral("Library folder"));

    m_table->setModel(&m_model);
    m_table->setAccessibleName(QStringLiteral("Library"));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection); // Send Selected Files
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    m_table->setTextElideMode(Qt::ElideMiddle); // the subfolder and the date both show
    connect(&m_model, &LibraryModel::sortRequested, this, [this](int column, Qt::SortOrder order) {
        m_sortColumn = column;
        m_sortOrder = order;
        arrange();
    });
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
    m_table->setColumnWidth(LibraryModel::kSameAs, width("STRATA 500 - Presets 2026-12-09.mid"));
    // Room for the name and the type beside the event table.
    m_table->setMinimumWidth(width("STRATA 500 - Presets 2026-12-09.mid") +
                             width("STRATA 500 - Presets S05"));
    // Double-click, or Enter on the row that has the keyboard.
    connect(m_table, &QTableView::activated, this, [this](const QModelIndex& index) {
        if (index.isValid()) {
            Q_EMIT openRequested(m_folder / m_model.entry(index.row()).path);
        }
    });

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_filter);
    layout->addWidget(m_note);
    layout->addWidget(m_table, 1);
    setWidget(content);

    connect(&m_reader, &LibraryReader::listed, this, &LibraryPane::listed);
}

void LibraryPane::setFolder(const std::filesystem::path& folder) {
    m_folder = folder;
    m_listings = 0;
    m_shown = 0;
    m_model.setRows({});
    m_note->setText(QString::fromStdString(folder.string()));
    m_reader.setFolder(folder);
}

void LibraryPane::arrange() {
    m_reader.arrange(m_sortColumn, m_sortOrder == Qt::DescendingOrder, m_filter->text(),
                     m_hideDuplicates);
}

void LibraryPane::setHideDuplicates(bool hide) {
    m_hideDuplicates = hide;
    arrange();
}

std::vector<char> LibraryPane::selectedFlags() const {
    std::vector<char> flags(static_cast<std::size_t>(m_model.rowCount()), 0);
    for (const QItemSelectionRange& range : m_table->selectionModel()->selection()) {
        if (range.isValid()) {
            std::fill(flags.begin() + range.top(), flags.begin() + range.bottom() + 1, 1);
        }
    }
    return flags;
}

std::vector<std::pair<std::filesystem::path, QString>> LibraryPane::selectedFiles() const {
    const std::vector<char> selected = selectedFlags();
    std::vector<std::pair<std::filesystem::path, QString>> files;
    for (std::size_t row = 0; row < selected.size(); ++row) {
        if (selected[row] != 0) {
            const std::string& path = m_model.entry(static_cast<int>(row)).path;
            files.emplace_back(m_folder / path, QString::fromStdString(path));
        }
    }
    return files;
}

QString LibraryPane::currentFile() const {
    const QModelIndex current = m_table->currentIndex();
    return current.isValid()
               ? QString::fromStdString((m_folder / m_model.entry(current.row()).path).string())
               : QString();
}

void LibraryPane::listed(const LibraryReader::Rows& rows, const QString& note,
                         const LibraryReader::Places& places) {
    ++m_listings;
    // The chosen and the selected files and the scroll stay where they were.
    const QModelIndex current = m_table->currentIndex();
    const std::string chosen = current.isValid() ? m_model.entry(current.row()).path : "";
    const int column = current.isValid() ? current.column() : 0;
    const int scrolled = m_table->verticalScrollBar()->value();
    std::vector<char> selected;
    if (places.previous != 0 && places.previous == m_shown && places.before.size() == rows.size() &&
        m_table->selectionModel()->hasSelection()) {
        selected = selectedFlags();
    }
    m_shown = places.listing;
    m_model.setRows(rows);
    if (!chosen.empty()) {
        if (const int row = m_model.rowOf(chosen); row >= 0) {
            m_table->selectionModel()->setCurrentIndex(m_model.index(row, column),
                                                       QItemSelectionModel::NoUpdate);
        }
    }
    if (!selected.empty()) {
        // A range for each run of rows that were selected: all of them are one range.
        QItemSelection keep;
        const int count = m_model.rowCount();
        const auto was = [&](int row) {
            const int before = places.before[static_cast<std::size_t>(row)];
            return before >= 0 && static_cast<std::size_t>(before) < selected.size() &&
                   selected[static_cast<std::size_t>(before)] != 0;
        };
        for (int row = 0; row < count;) {
            if (!was(row)) {
                ++row;
                continue;
            }
            const int first = row;
            while (row < count && was(row)) {
                ++row;
            }
            keep.append(QItemSelectionRange(m_model.index(first, 0),
                                            m_model.index(row - 1, LibraryModel::kColumns - 1)));
        }
        m_table->selectionModel()->select(keep, QItemSelectionModel::Select);
    }
    m_table->verticalScrollBar()->setValue(scrolled);
    if (!m_selectWhenListed.empty()) {
        if (const int row = m_model.rowOf(m_selectWhenListed); row >= 0) {
            m_table->selectionModel()->setCurrentIndex(m_model.index(row, 0),
                                                       QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
            m_table->scrollTo(m_model.index(row, 0));
            m_selectWhenListed.clear();
        }
    }
    m_note->setText(note.isEmpty() ? QString::fromStdString(m_folder.string()) : note);
}
