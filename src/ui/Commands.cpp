#include "ui/Commands.h"

#include "files/TreeNode.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>

namespace korvex {
namespace {

struct SCommandText
{
    CommandId id;
    const char* szText;   // the menu's text; after a tab the key it names
    const char* szPrompt; // status bar prompt, then the tool tip after "\n"
    const char* szIcon;   // toolbar picture, or null
    std::vector<QKeySequence> keys;
    bool bCheckable;
};

const std::vector<SCommandText>& CommandTexts()
{
    static const std::vector<SCommandText> texts = {
        { ID_NEW_PROJECT,
          "Проект\tCtrl+N",
          "Создать новый проект\nНовый проект",
          "new",
          { QKeySequence(Qt::CTRL | Qt::Key_N) },
          false },
        // Ctrl+N is the new project's: the device gets a key of its own.
        { ID_NEW_DEVICE,
          "Устройство\tCtrl+Shift+N",
          "Создать новое устройство\nНовое устройство",
          nullptr,
          { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N) },
          false },
        { ID_NEW_SCRIPT,
          "Скрипт\tCtrl+Shift+L",
          "Создать новый скрипт\nНовый скрипт",
          nullptr,
          { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L) },
          false },
        { ID_OPEN_PROJECT,
          "Открыть проект\tCtrl+O",
          "Открыть существующий проект\nОткрыть проект",
          "open",
          { QKeySequence(Qt::CTRL | Qt::Key_O) },
          false },
        { ID_SAVE_ALL,
          "Сохранить всё\tCtrl+S",
          "Сохранить проект и все изменённые устройства и скрипты\nСохранить всё",
          "saveall",
          { QKeySequence(Qt::CTRL | Qt::Key_S) },
          false },
        { ID_ADD_DEVICE,
          "Добавить устройство",
          "Добавить файл устройства в проект\nДобавить устройство",
          nullptr,
          {},
          false },
        { ID_ADD_SCRIPT,
          "Добавить скрипт",
          "Добавить файл скрипта в проект\nДобавить скрипт",
          nullptr,
          {},
          false },
        { ID_REMOVE_FROM_PROJECT,
          "Удалить из проекта\tDel",
          "Удалить выбранное устройство или скрипт из проекта\nУдалить из проекта",
          nullptr,
          {},
          false },
        { ID_OPEN_SELECTED,
          "Открыть\tEnter",
          "Открыть окно выбранного объекта\nОткрыть",
          nullptr,
          {},
          false },
        { ID_CHANGE_DEV_ID,
          "Изменить ID и адрес",
          "Изменить идентификатор и адрес устройства\nИзменить ID и адрес",
          nullptr,
          {},
          false },
        { ID_FAULTS,
          "Неисправности...",
          "Задать неисправности устройства на время работы программы\nНеисправности",
          nullptr,
          {},
          false },
        { ID_IMPORT_MAP_NEW,
          "В новое устройство...",
          "Создать устройство из карты регистров (CSV)\nИмпорт карты в новое устройство",
          nullptr,
          {},
          false },
        { ID_IMPORT_MAP_APPEND,
          "В выбранное устройство...",
          "Добавить ячейки карты регистров (CSV) в выбранное устройство\nИмпорт карты в "
          "устройство",
          nullptr,
          {},
          false },
        // The menu shows Alt+X, so the key does what it says.
        { ID_EXIT,
          "В&ыход\tAlt+X",
          "Завершить работу программы\nВыход",
          nullptr,
          { QKeySequence(Qt::ALT | Qt::Key_X) },
          false },
        // The tool tip's "эмуорятор" is the Windows program's, letter for
        // letter.
        { ID_START,
          "&Запустить\tF5",
          "Запустить эмулятор на выбранном порту\nЗапустить эмуорятор",
          "start",
          { QKeySequence(Qt::Key_F5) },
          false },
        { ID_STOP,
          "&Остановить\tF6",
          "Остановить работу эмулятора\nОстановить эмулятор",
          "stop",
          { QKeySequence(Qt::Key_F6) },
          false },
        { ID_CLEAR_LOG,
          "Очистить &журнал\tF8",
          "Удалить все строки журнала протокола\nОчистить журнал",
          "clearlog",
          { QKeySequence(Qt::Key_F8) },
          false },
        { ID_PORT_PARAMS,
          "Параметры &порта\tF9",
          "Настроить параметры последовательного порта\nПараметры порта",
          "portparams",
          { QKeySequence(Qt::Key_F9) },
          false },
        { ID_UI_PARAMS,
          "Параметры интерфейса\tF10",
          "Настроить журналы и вид чисел\nПараметры интерфейса",
          "uiparams",
          { QKeySequence(Qt::Key_F10) },
          false },
        { ID_VIEW_TOOLBAR,
          "&Панель инструментов",
          "Показать или скрыть панель инструментов\nПанель инструментов",
          nullptr,
          {},
          true },
        { ID_VIEW_STATUSBAR,
          "&Строка статуса",
          "Показать или скрыть строку статуса\nСтрока статуса",
          nullptr,
          {},
          true },
        { ID_VIEW_DEVDB,
          "Панель объектов",
          "Показать или скрыть панель объектов проекта\nПанель объектов",
          nullptr,
          {},
          true },
        { ID_VIEW_PROTO,
          "Панель тревог",
          "Показать или скрыть журнал протокола\nПанель тревог",
          nullptr,
          {},
          true },
        { ID_VIEW_COUNTERS,
          "Счётчики",
          "Показать счётчики запросов, ответов и кадров по устройствам и транспортам\nСчётчики",
          nullptr,
          {},
          false },
        { ID_WINDOW_CASCADE, "&Каскад", "Расположить окна каскадом\nКаскад", nullptr, {}, false },
        { ID_WINDOW_TILE, "&Мозаика", "Расположить окна мозаикой\nМозаика", nullptr, {}, false },
        { ID_WINDOW_ARRANGE,
          "&Упорядочить",
          "Упорядочить значки свёрнутых окон\nУпорядочить",
          nullptr,
          {},
          false },
        { ID_HELP_FILE,
          "Документация\tF1",
          "Открыть руководство пользователя\nДокументация",
          nullptr,
          { QKeySequence(Qt::Key_F1) },
          false },
        { ID_ABOUT,
          "&О программе...",
          "Показать название, версию и сведения о программе\nО программе",
          "about",
          {},
          false },
        { ID_EDIT_COPY,
          "Копировать",
          "Копировать выделенное в буфер обмена\nКопировать",
          nullptr,
          { QKeySequence(Qt::CTRL | Qt::Key_Insert) },
          false },
        { ID_EDIT_CUT,
          "Вырезать",
          "Вырезать выделенное в буфер обмена\nВырезать",
          nullptr,
          { QKeySequence(Qt::SHIFT | Qt::Key_Delete), QKeySequence(Qt::CTRL | Qt::Key_X) },
          false },
        { ID_EDIT_PASTE,
          "Вставить",
          "Вставить из буфера обмена\nВставить",
          nullptr,
          { QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert) },
          false },
        { ID_EDIT_UNDO,
          "Отменить",
          "Отменить последнее действие\nОтменить",
          nullptr,
          { QKeySequence(Qt::ALT | Qt::Key_Backspace), QKeySequence(Qt::CTRL | Qt::Key_Z) },
          false },
        // The device window's commands: its context menu shows them, its
        // keys are the window's own (CDevView), and they carry no prompt.
        { ID_CELL_EDIT, "Изменить\tEnter", "", nullptr, {}, false },
        { ID_CELL_EDIT_VALUE, "Изменить значение\tF2", "", nullptr, {}, false },
        { ID_CELL_ADD, "Добавить\tIns", "", nullptr, {}, false },
        { ID_CELL_ADD_RANGE, "Добавить диапазон...", "", nullptr, {}, false },
        { ID_CELL_DUPLICATE, "Дублировать\tCtrl+D", "", nullptr, {}, false },
        { ID_CELL_GO_TO, "Перейти к адресу...\tCtrl+G", "", nullptr, {}, false },
        { ID_CELL_GRAPH, "График\tG", "", nullptr, {}, false },
        { ID_CELL_DELETE, "Удалить\tDel", "", nullptr, {}, false },
    };
    return texts;
}

} // namespace

CCommandSet::CCommandSet(QObject* parent) : QObject(parent)
{
    for (const SCommandText& t : CommandTexts()) {
        auto* action = new QAction(QString::fromUtf8(t.szText), this);
        const QStringList prompt = QString::fromUtf8(t.szPrompt).split(QLatin1Char('\n'));
        action->setStatusTip(prompt.value(0));
        action->setToolTip(prompt.value(1, prompt.value(0)));
        if (t.szIcon != nullptr)
            action->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(t.szIcon))));
        if (!t.keys.empty())
            action->setShortcuts(QList<QKeySequence>(t.keys.begin(), t.keys.end()));
        action->setCheckable(t.bCheckable);
        action->setData(static_cast<int>(t.id));
        m_actions.emplace(t.id, action);
    }
    Update(m_state);
}

QAction* CCommandSet::Action(CommandId id) const
{
    const auto it = m_actions.find(id);
    return it != m_actions.end() ? it->second : nullptr;
}

QAction* CCommandSet::MenuVariant(CommandId id, const QString& text)
{
    QAction* master = Action(id);
    auto* variant = new QAction(text, this);
    variant->setStatusTip(master->statusTip());
    variant->setEnabled(master->isEnabled());
    connect(variant, &QAction::triggered, master, &QAction::trigger);
    m_variants.emplace(id, variant);
    return variant;
}

bool CCommandSet::IsEnabled(CommandId id, const SCommandState& s)
{
    const bool stopped = !s.bRunning;
    const bool fileNode = s.nSelectedKind == NODE_DEVICE || s.nSelectedKind == NODE_SCRIPT;
    switch (id) {
    case ID_NEW_PROJECT:
    case ID_OPEN_PROJECT:
    case ID_ADD_DEVICE:
    case ID_ADD_SCRIPT:
    case ID_START:
    case ID_PORT_PARAMS:
    case ID_UI_PARAMS: return stopped;
    case ID_NEW_DEVICE:
    case ID_NEW_SCRIPT:
    case ID_IMPORT_MAP_NEW: return stopped;
    case ID_IMPORT_MAP_APPEND: return s.bTreeVisible && stopped && s.nSelectedKind == NODE_DEVICE;
    case ID_SAVE_ALL: return s.bAnyModified;
    case ID_REMOVE_FROM_PROJECT: return s.bTreeVisible && stopped && fileNode;
    case ID_OPEN_SELECTED: return stopped && fileNode;
    case ID_CHANGE_DEV_ID: return s.bTreeVisible && stopped;
    // Faults are for a running master to meet.
    case ID_FAULTS: return s.bTreeVisible && s.nSelectedKind == NODE_DEVICE;
    case ID_STOP: return s.bRunning;
    case ID_CLEAR_LOG: return s.bLogVisible && s.nLogLines > 0;
    case ID_WINDOW_CASCADE:
    case ID_WINDOW_TILE:
    case ID_WINDOW_ARRANGE: return s.nChildWindows > 0;
    case ID_EDIT_COPY: return s.bCanCopy;
    case ID_EDIT_CUT: return s.bCanCut;
    case ID_EDIT_PASTE: return s.bCanPaste;
    case ID_EDIT_UNDO: return s.bCanUndo;
    // A cell's value changes any time, its other fields and the set of
    // cells only while the emulator is stopped.
    case ID_CELL_EDIT:
    case ID_CELL_EDIT_VALUE:
    case ID_CELL_GRAPH: return s.bCellCurrent;
    case ID_CELL_ADD:
    case ID_CELL_ADD_RANGE: return s.bCellWindow && stopped;
    case ID_CELL_DUPLICATE: return s.bCellsSelected && stopped;
    case ID_CELL_DELETE: return s.bCellCurrent && stopped;
    case ID_CELL_GO_TO: return s.bCellWindow;
    default: return true;
    }
}

void CCommandSet::Update(const SCommandState& state)
{
    m_state = state;
    for (const auto& [id, action] : m_actions) {
        action->setEnabled(IsEnabled(static_cast<CommandId>(id), state));
        switch (id) {
        case ID_VIEW_TOOLBAR: action->setChecked(state.bToolBarVisible); break;
        case ID_VIEW_STATUSBAR: action->setChecked(state.bStatusBarVisible); break;
        case ID_VIEW_DEVDB: action->setChecked(state.bTreeVisible); break;
        case ID_VIEW_PROTO: action->setChecked(state.bLogVisible); break;
        default: break;
        }
    }
    for (const auto& [id, variant] : m_variants)
        variant->setEnabled(IsEnabled(static_cast<CommandId>(id), state));
}

} // namespace korvex
