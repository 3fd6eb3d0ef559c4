#pragma once

// The outline's data source: module rows at the top level, each module's
// events below it. Module rows are identified by their position, as the
// document's row items are; event rows carry their module in the index.
// Commands change the list through this model so that the view follows each
// change without being reset.

#include "editor/core/OutlineRows.h"
#include "schedule/Module.h"
#include "schedule/ModuleEditing.h"

#include <QAbstractItemModel>

#include <functional>
#include <optional>

namespace vantrel {

class DocumentManager;
class Modules;

// Where a drop put its rows: `count` modules from `module`, or, with
// firstEvent, `count` events of `module` from that event.
struct DroppedRows
{
    std::size_t module = 0;
    std::optional<std::size_t> firstEvent;
    std::size_t count = 0;
};

// The window's part in a drop into its outline: what the view shows, and
// the command around the change (edits ended, one undo step, the dropped
// rows selected afterwards).
class OutlineDropHost
{
  public:
    virtual ~OutlineDropHost() = default;
    virtual bool isModuleExpanded(std::size_t module) const = 0;
    // Runs `change`, which moves the rows and says where they landed.
    virtual void runDrop(const std::function<DroppedRows()>& change) = 0;
};

class ModulesOutlineModel : public QAbstractItemModel
{
    Q_OBJECT

  public:
    // Columns by position; the identifiers are the module keys.
    enum Column
    {
        NameColumn,
        HouseCodeColumn,
        UnitColumn,
        TypeColumn,
        ColumnCount
    };
    static const char* identifier(int column);

    explicit ModulesOutlineModel(ModuleList* modules, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Every module row can be expanded, also without events.
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Dragging rows: the drag data names the rows of this model's document
    // and the drag id of its window. A drop moves the rows into this list;
    // rows from another window leave it through the document manager.
    void setDragId(quint64 id) { m_dragId = id; }
    void setDropHost(DocumentManager* manager, OutlineDropHost* host)
    {
        m_manager = manager;
        m_dropHost = host;
    }
    quint64 dragId() const { return m_dragId; }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    const ModuleList& modules() const { return *m_modules; }
    QModelIndex moduleIndex(std::size_t module, int column = NameColumn) const;
    QModelIndex eventIndex(std::size_t module, std::size_t event, int column = NameColumn) const;
    static bool isEventIndex(const QModelIndex& index);
    // The module an index shows or belongs to.
    static std::size_t moduleOf(const QModelIndex& index);

    // The rows as the view shows them, rebuilt after a change.
    const OutlineRowMap& rowMap() const;
    QModelIndex indexForRow(int row, int column = NameColumn) const;
    int rowForIndex(const QModelIndex& index) const;

    // Structural edits. Each replaces what it changes and tells the view.
    void insertModule(std::size_t position, Module module);
    // The modules in their order, as one change: the view then lays itself
    // out once, not once per module.
    void insertModules(std::size_t position, ModuleList modules);
    void removeModule(std::size_t module);
    void insertEvent(std::size_t module, std::size_t position, const EventData& event);
    void removeEvent(std::size_t module, std::size_t event);
    void replaceEvent(std::size_t module, std::size_t event, const EventData& data);
    void replaceAll(ModuleList modules);
    // The module's "X"; the view's expansion is brought into line by the window.
    void setExpanded(std::size_t module, bool expanded);
    void setAllExpanded(bool expanded);
    // Brings a module's events into line with its house code, unit and type
    // (moduleChanged), repainting what that changed.
    void applyModuleChanged(std::size_t module);
    // Repaints a module row and its events after a change made elsewhere.
    void moduleDataChanged(std::size_t module);

  signals:
    // mimeData() read the dragged rows: modules, events (as far as read),
    // and whether they can be dragged.
    void dragStarted(bool modules, bool events, bool valid);
    // A module cell was committed (the window then runs moduleChanged when asked).
    void moduleCellCommitted(std::size_t module, vantrel::ModuleCellChange change);
    // An event row's text was committed and parsed into its event.
    void eventTextCommitted(std::size_t module, std::size_t event);

  private:
    void structureChanged() { m_rowMapStale = true; }
    // A drop read and judged: its source window and the rows it moves.
    struct PlannedDrop
    {
        Modules* from = nullptr;
        bool modules = false;
        std::vector<std::size_t> draggedModules;
        std::vector<OutlineRow> draggedEvents; // bottom to top
        std::size_t target = 0;                // the module that takes events
        std::size_t dropIndex = 0;
    };
    std::optional<PlannedDrop> planDrop(const QMimeData* data, int row,
                                        const QModelIndex& parent) const;
    DroppedRows moveModules(PlannedDrop plan);
    DroppedRows moveEvents(const PlannedDrop& plan);

    ModuleList* m_modules;
    quint64 m_dragId = 0;
    DocumentManager* m_manager = nullptr;
    OutlineDropHost* m_dropHost = nullptr;
    mutable OutlineRowMap m_rowMap;
    mutable bool m_rowMapStale = true;
};

} // namespace vantrel
