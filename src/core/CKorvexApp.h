#pragma once

#include "core/CDocManager.h"
#include "core/CProtoFeed.h"
#include "core/CRecentList.h"
#include "core/CRxBuffer.h"
#include "core/SSettings.h"
#include "core/Types.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvex {

class CDevDoc;
class CDocTemplate;
class CDocument;
class CPrjDoc;
class CProjectTree;
class IPort;
class IRecentStore;
class IScript;
class IUiPoster;
class ITransmitter;

// The hub of the core: the receive buffer and its drain, the device list, the
// last transmitted frame, the settings record, the protocol line feed and the
// request handlers.
//
// Threads: the drain (OnRxData), the handlers and every command run on the
// user-interface thread; OnReceive runs on the serial reader thread; scripts
// call the lookups, SendFrame and InjectReceived on their own threads.
// Locks: m_rxBuffer's lock guards the buffer and m_nRxPos and is held for a
// whole drain; m_csDevices guards m_arDevices; m_csLastTx guards the last
// transmitted frame. Under the buffer lock the drain takes the others one at a
// time, never nested.
class CKorvexApp
{
public:
    static constexpr std::uint32_t kMaxTxFrame = 1024;

    CKorvexApp();
    virtual ~CKorvexApp();

    CKorvexApp(const CKorvexApp&) = delete;
    CKorvexApp& operator=(const CKorvexApp&) = delete;

    // Wiring, done once on the user-interface thread before anything runs.
    void SetPoster(IUiPoster* poster);
    IUiPoster* GetPoster() const { return m_pPoster; }
    void SetTransmitter(ITransmitter* tx) { m_pTx.store(tx); }

    CProtoFeed& GetFeed() { return m_feed; }
    SSettings& GetSettings() { return m_settings; }
    const SSettings& GetSettings() const { return m_settings; }

    bool IsRunning() const { return m_bRunning.load(); }
    // Marks the emulator running without a port (the headless decoder).
    void SetRunning(bool running) { m_bRunning.store(running); }
    static std::string GetVersionText();

    // Session (UI thread). The port is the line OnStart opens; the name of
    // the port opened is m_settings.m_info.m_strComName.
    void SetPort(IPort* port) { m_pPort = port; }
    void OnStart();
    void OnStop();
    // Any thread: queue a stop onto the UI thread.
    void PostStop();
    // The port's error hook, on any thread: posts the stop and writes the
    // text as a warning line (standard error while no log sink exists).
    void OnError(const std::string& text);
    // Called on the UI thread after every stop, whatever caused it.
    void SetStopHandler(std::function<void()> handler) { m_onStopped = std::move(handler); }

    // Scripts (they add and remove themselves).
    void AddScript(IScript* script);
    void RemoveScript(IScript* script);
    std::vector<IScript*> GetScripts() const;

    // Devices (they add and remove themselves).
    void AddDevice(CDevDoc* doc);
    void RemoveDevice(CDevDoc* doc);
    CDevDoc* FindDeviceByAddr(std::uint8_t addr) const;
    CDevDoc* FindDeviceById(const std::string& id) const;
    std::vector<CDevDoc*> GetDevices() const;

    // Documents (CKorvexAppDocs.cpp). The templates are registered by the
    // constructor, the project's first, then the device's; the documents live
    // until they are closed or the application goes.
    CDocManager& GetDocManager() { return m_docManager; }
    const CDocManager& GetDocManager() const { return m_docManager; }
    CDocTemplate& GetPrjTemplate() { return *m_pPrjTemplate; }
    CDocTemplate& GetDevTemplate() { return *m_pDevTemplate; }
    // Scripts need the engine, outside this library: the program registers
    // their template (RegisterScriptTemplate); null until then.
    CDocTemplate* GetScriptTemplate() const { return m_pScriptTemplate; }
    void SetScriptTemplate(CDocTemplate* tmpl) { m_pScriptTemplate = tmpl; }
    // The folder against which relative document paths are resolved: the
    // current project's folder when the project has a path, else what the
    // base folder provider answers, else the current directory.
    std::string GetBaseDir() const;
    void SetBaseDirProvider(std::function<std::string()> provider);
    // An absolute path unchanged; a relative one (either slash, a leading
    // ".\" dropped) joined to GetBaseDir().
    std::string ResolvePath(const std::string& path) const;
    // An absolute path made relative to GetBaseDir() in the project file's
    // form (".\sub\pump.kvxd"); a relative path unchanged.
    std::string MakeRelativePath(const std::string& path) const;
    // The path without its extension, made project-relative: ".\pump".
    std::string GetItemLabel(const std::string& path) const;
    // Messages of the document layer (a file that cannot be opened, read or
    // saved), shown on the user-interface thread by the handler; without one
    // they go to standard error.
    using MessageHandler = std::function<void(const std::string& text)>;
    void SetMessageHandler(MessageHandler handler);
    void ReportError(const std::string& text) const;

    // ---- Project (CKorvexAppProject.cpp), user-interface thread ----------

    // The answer to "save the changes?"; the text names the document.
    enum class PromptAnswer
    {
        Yes,
        No,
        Cancel,
    };
    using SavePrompt = std::function<PromptAnswer(const std::string& text)>;
    // A name to save a document under that has none yet; empty cancels.
    using PathPrompt = std::function<std::string(CDocument& doc)>;
    static constexpr char kSavePrompt[] = "Сохранить изменения в %1?";

    // The current project: null before the first is created or opened; set
    // by the project document itself.
    CPrjDoc* GetProject() const { return m_pProject; }
    void SetProject(CPrjDoc* project) { m_pProject = project; }
    // The project's content, which the project bar mirrors.
    CProjectTree& GetProjectTree() { return *m_pTree; }
    const CProjectTree& GetProjectTree() const { return *m_pTree; }

    // The first open document, in template and document order, whose path
    // made project-relative equals path exactly and which is a device (kind
    // 1) or a document of the script template (kind 2); null for a group.
    CDocument* FindOpenDoc(const std::string& path, int kind) const;

    // Without a save prompt every question is answered "no" (the headless
    // program); without a path prompt a document without a name is not saved.
    void SetSavePrompt(SavePrompt prompt) { m_fnSavePrompt = std::move(prompt); }
    void SetPathPrompt(PathPrompt prompt) { m_fnPathPrompt = std::move(prompt); }
    // Asks "Сохранить изменения в %1?" for a modified document: yes saves it
    // (asking for a name where needed), no leaves it. False on cancel or
    // when the save failed: the command that asked is abandoned.
    bool SaveModified(CDocument& doc);
    // SaveModified for every modified document but except, in template and
    // document order; false at the first cancel.
    bool SaveModifiedDocuments(const CDocument* except);
    // Shows and activates the document's window (nothing without windows).
    void ActivateDocument(CDocument& doc);

    // The recent projects, loaded from the store when it is set and saved to
    // it on every change; without a store the list lives in memory only.
    void SetRecentStore(const IRecentStore* store);
    const CRecentList& GetRecentList() const { return m_recent; }
    // Puts a project path first; other paths do not enter the list.
    void AddToRecentFileList(const std::string& path);

    // The commands. Each does nothing (null or false) while it is disabled.
    // New and open give the project, which may be left empty by a file that
    // cannot be read (CPrjDoc::IsReadFailed), or null when a save prompt was
    // cancelled. A recent entry whose project cannot be read leaves the list.
    CPrjDoc* OnNewProject();
    CPrjDoc* OnOpenProject(const std::string& path);
    CPrjDoc* OnOpenRecentProject(std::size_t index);
    // The open document of the file, activated, or the file opened (it joins
    // the tree) and the project marked modified; null when it does not open.
    CDocument* OnAddDevice(const std::string& path);
    CDocument* OnAddScript(const std::string& path);
    // The selected device or script: its document, when open, is saved if
    // the user says so and closed; its node deleted; the project modified.
    // False when nothing suitable is selected or the prompt was cancelled.
    bool OnRemoveFromProject();
    // The selected device's or script's document, activated, or opened from
    // the node's path. While the emulator runs only an open document is
    // activated.
    CDocument* OnOpenSelected();
    // Saves every modified document, asking for names where needed; false
    // when a save failed or a name was not given.
    bool OnSaveAll();

    // When the commands are enabled.
    bool CanNewProject() const { return !IsRunning(); }
    bool CanOpenProject() const { return !IsRunning(); }
    bool CanOpenRecentProject() const { return true; }
    bool CanAddDevice() const { return !IsRunning(); }
    bool CanAddScript() const { return !IsRunning(); }
    bool CanRemoveFromProject() const;
    bool CanOpenSelected() const;
    bool CanChangeIdAndAddress() const;
    bool CanSaveAll() const;

    // Receive path. OnReceive is the serial port's receive hook: it appends the
    // block and posts a drain. InjectReceived does the same for bytes a script
    // injects as if a master had sent them.
    void OnReceive(const std::uint8_t* data, std::uint32_t count);
    void InjectReceived(const std::uint8_t* data, std::uint32_t count);
    // The drain: cuts everything pending into frames and lines.
    void OnRxData();
    // One drain step. scanHint, when given, carries how far the bytes are known
    // to start no frame from one waiting step to the next.
    unsigned ExtractFrame(const std::uint8_t* data, unsigned available, SFrameInfo& info,
                          unsigned* scanHint = nullptr);
    // End of a session: drains what is pending as when stopped, then reports
    // a tail too short to be looked at as unrecognized.
    void FlushReceive();
    // Start of a session: buffer emptied, drain position and last frame reset.
    void ResetReceive();
    CRxBuffer& GetRxBuffer() { return m_rxBuffer; }
    std::uint32_t GetRxPos() const;

    // Transmit path for complete frames (CRC included).
    void SendFrame(const std::uint8_t* frame, unsigned length);
    // True when the frame is the echo of the last transmitted one; any test
    // forgets the last frame.
    bool TakeEcho(const std::uint8_t* frame, unsigned length);
    void ClearLastTx();
    std::vector<std::uint8_t> GetLastTx() const;

    std::string DescribeFrame(const std::uint8_t* frame, unsigned length);

    // Request handlers (user-interface thread, inside the drain).
    void OnReadCoils(const std::uint8_t* f, unsigned len, std::uint8_t slave, std::uint16_t start,
                     std::uint16_t quantity);
    void OnReadDiscreteInputs(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                              std::uint16_t start, std::uint16_t quantity);
    void OnReadHoldingRegisters(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                                std::uint16_t start, std::uint16_t quantity);
    void OnReadInputRegisters(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                              std::uint16_t start, std::uint16_t quantity);
    void OnWriteSingleCoil(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                           std::uint16_t start, std::uint16_t value);
    void OnWriteSingleRegister(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                               std::uint16_t start, std::uint16_t value);
    void OnReadExceptionStatus(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                               std::uint16_t start, std::uint16_t fourth);
    void OnWriteCoils(const std::uint8_t* f, unsigned len, std::uint8_t slave, std::uint16_t start,
                      std::uint16_t quantity);
    void OnWriteRegisters(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                          std::uint16_t start, std::uint16_t quantity);

private:
    struct SAnswer;
    void AppendReceived(const std::uint8_t* data, std::uint32_t count);
    CDevDoc* BeginRequest(SAnswer& ans, std::uint8_t slave, std::uint8_t code);
    void FinishRequest(SAnswer& ans, CDevDoc* dev);
    void ReadBits(std::int32_t type, std::uint8_t code, std::uint8_t slave, std::uint16_t start,
                  std::uint16_t quantity);
    void ReadRegisters(std::int32_t type, std::uint8_t code, std::uint8_t slave,
                       std::uint16_t start, std::uint16_t quantity);
    void RegisterTemplates();
    CDocument* AddToProject(const std::string& path, int kind);
    CDocTemplate* TemplateOfKind(int kind) const;
    bool IsFileNodeSelected() const;

    std::atomic<bool> m_bRunning{ false };
    CRxBuffer m_rxBuffer;
    std::uint32_t m_nRxPos{ 0 }; // guarded by m_rxBuffer's lock
    unsigned m_nScanFrom{ 0 };   // no frame starts before m_nRxPos + this
    mutable std::mutex m_csDevices;
    std::vector<CDevDoc*> m_arDevices; // not owned
    SSettings m_settings;
    mutable std::mutex m_csLastTx;
    std::uint8_t m_lastTx[kMaxTxFrame]{};
    std::uint32_t m_nLastTxLen{ 0 };
    mutable std::mutex m_csScripts;
    std::vector<IScript*> m_arScripts; // not owned
    CProtoFeed m_feed;
    IPort* m_pPort{ nullptr };
    std::function<void()> m_onStopped;
    IUiPoster* m_pPoster{ nullptr };
    std::atomic<ITransmitter*> m_pTx{ nullptr };
    std::function<std::string()> m_fnBaseDir;
    MessageHandler m_fnMessage;
    CDocTemplate* m_pPrjTemplate{ nullptr };    // owned by m_docManager
    CDocTemplate* m_pDevTemplate{ nullptr };    // owned by m_docManager
    CDocTemplate* m_pScriptTemplate{ nullptr }; // owned by m_docManager
    CPrjDoc* m_pProject{ nullptr };             // owned by m_docManager
    SavePrompt m_fnSavePrompt;
    PathPrompt m_fnPathPrompt;
    CRecentList m_recent;
    const IRecentStore* m_pRecentStore{ nullptr };
    // Before the documents, which tell it when they open and go.
    std::unique_ptr<CProjectTree> m_pTree;
    // Last, so that documents go before everything they use.
    CDocManager m_docManager;
};

} // namespace korvex
