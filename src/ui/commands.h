#pragma once

// The commands of the main window: identifiers, texts, where the ribbon
// shows them, and the rules that enable them from the job state.

#include <array>

namespace ravelin::ui {

enum CommandId : int {
    ID_OPEN_FILE = 32771,
    ID_START_REPAIR = 32772,
    ID_STOP = 32773,
    ID_EXIT = 32774,
    ID_CLEAR_LOG = 32777,
    ID_UPDATE = 32783,
    ID_KNOWLEDGE_BASE = 32790,
    ID_SAVE_LOG = 32805,
    ID_LOG_WINDOW = 32815,
    ID_STATUS_BAR = 32816,
    ID_ABOUT = 32851,
    ID_SUBMIT_ENQUIRY = 32852,
    ID_HELP = 32855,
};

enum class CommandKind { Button, CheckBox };

struct CommandInfo {
    CommandId id;
    const char* category;
    const char* panel;
    const char* text;
    CommandKind kind;
    const char* iconName;  // freedesktop icon name
};

// The ribbon, category by category and panel by panel, in display order.
// (The first panel's name begins with a blank.)
inline constexpr std::array<CommandInfo, 13> kRibbonCommands{{
    {ID_OPEN_FILE, "File", " File", "Open File", CommandKind::Button, "document-open"},
    {ID_START_REPAIR, "File", " File", "Start Repair", CommandKind::Button, "system-run"},
    {ID_STOP, "File", " File", "Stop", CommandKind::Button, "process-stop"},
    {ID_EXIT, "File", " File", "Exit", CommandKind::Button, "application-exit"},
    {ID_LOG_WINDOW, "File", "View", "Log Window", CommandKind::CheckBox, ""},
    {ID_STATUS_BAR, "File", "View", "Status Bar", CommandKind::CheckBox, ""},
    {ID_SAVE_LOG, "Tools", "Log", "Save Log", CommandKind::Button, "document-save"},
    {ID_CLEAR_LOG, "Tools", "Log", "Clear Log", CommandKind::Button, "edit-clear"},
    {ID_UPDATE, "Tools", "Update", "Update", CommandKind::Button, "system-software-update"},
    {ID_SUBMIT_ENQUIRY, "Help", "Support", "Submit Enquiry", CommandKind::Button, "mail-send"},
    {ID_KNOWLEDGE_BASE, "Help", "Help Manuals", "KnowledgeBase", CommandKind::Button, "help-faq"},
    {ID_HELP, "Help", "Help Manuals", "Help", CommandKind::Button, "help-browser"},
    {ID_ABOUT, "Help", "About", "About", CommandKind::Button, "help-about"},
}};

// The application button's menu, in order.
inline constexpr std::array<CommandId, 11> kApplicationMenu{
    ID_OPEN_FILE, ID_START_REPAIR, ID_STOP,       ID_EXIT, ID_SAVE_LOG,       ID_CLEAR_LOG,
    ID_UPDATE,    ID_KNOWLEDGE_BASE, ID_HELP, ID_SUBMIT_ENQUIRY, ID_ABOUT,
};

// The quick-access buttons.
inline constexpr std::array<CommandId, 2> kQuickAccess{ID_OPEN_FILE, ID_START_REPAIR};

// The job flags the enabling rules read.
struct CommandFacts {
    bool busy = false;
    bool previewRequested = false;
    bool databaseLoaded = false;
    bool saveLogEnabled = false;
    bool clearLogEnabled = false;
};

// Whether the command is enabled in the situation the facts describe.
constexpr bool CommandEnabled(CommandId id, const CommandFacts& facts)
{
    switch (id) {
    case ID_OPEN_FILE:
        return !facts.busy;
    case ID_START_REPAIR:
        return !facts.busy && facts.databaseLoaded;
    case ID_STOP:
        return facts.busy && !facts.previewRequested;
    case ID_SAVE_LOG:
        return facts.saveLogEnabled;
    case ID_CLEAR_LOG:
        return facts.clearLogEnabled;
    default:
        return true;
    }
}

inline const CommandInfo* FindCommand(CommandId id)
{
    for (const CommandInfo& info : kRibbonCommands) {
        if (info.id == id)
            return &info;
    }
    return nullptr;
}

}  // namespace ravelin::ui
