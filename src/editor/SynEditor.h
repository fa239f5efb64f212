#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "editor/DialogWindow.h"
#include "framework/Patch.h"
#include "gui/CControl.h"
#include "platform/ConfigIni.h"
#include "platform/FileChooser.h"
#include "presets/PresetLibrary.h"
#include "vst/AEffGUIEditor.h"

class Vantorel;
class Module;
class SynRack;
class SynFrame;
class SynScrollbar;
class SynMenuButton;
class CFrame;
class CTextLabel;
class CKickButton;
class COptionMenu;
class SynOptionMenu;
class ModuleKnob;
struct ModuleClassInfo;

constexpr int kEditorWidth = 1010;
constexpr int kEditorHeight = 622;
// The window's frame around the rack.
constexpr int kSideBarWidth = 25;
constexpr int kTopBarHeight = 40;
constexpr int kVisibleRackHeight = 582;

// The editor object: owner of the patch for the plug-in's whole life, window or not.
// Every operation here is an editor-thread operation unless it says otherwise.
class SynEditor : public AEffGUIEditor, public CControlListener, public Patch {
public:
    explicit SynEditor(Vantorel* synth);
    ~SynEditor() override;

    // The window. A null parent gives the whole frame without a platform window
    // (tests and snapshots draw it offscreen). Closing keeps every view for the next
    // open: the patch lives as long as the editor object.
    bool open(void* parentWindow) override;
    void close() override;
    bool isOpen() const override { return frame != nullptr; }
    void idle() override;
    CFrame* getFrame() const;
    SynFrame* getSynFrame() const { return frame; }
    SynRack* getRack() const { return rack; }
    SynScrollbar* getScrollbar() const { return scrollbar; }
    DialogWindow* getDialog() const { return dialog; }
    CTextLabel* getPresetNameLabel() const { return presetNameLabel; }
    CTextLabel* getAuthorLabel() const { return authorLabel; }

    // The single entry for control changes (module knobs, switches, jacks...).
    void valueChanged(CControl* control) override;
    CControlListener* controlListener() override { return this; }
    CViewContainer* rackView() override;

    // Patch editing.
    // Creates the module class of that display name in the rack, on the first free
    // place of the grid; null when no class has that name or no place is free.
    Module* createModule(const char* displayName);
    // Creates it at (x, y) in rack coordinates without checking the place.
    Module* createModuleAt(const char* displayName, int x, int y);
    void setAlwaysOn(Module* m, bool on);
    void setModuleOversampled(Module* m, bool on);
    void setModuleBandlimit(Module* m, int mode);
    // Whether a module of that size may rest at (x, y): on a row, inside the rack, on
    // the grid and clear of other modules (`ignore` excluded).
    bool placeIsFree(int x, int y, int width, int height, const Module* ignore = nullptr) const;
    void moveModule(Module* m, int x, int y);
    // Removes the module with its cables; a module on the mouse is let go first.
    void deleteModule(Module* m) override;

    // Scrolling: the scrollbar's value p (0 top, 1 bottom) puts the rack's top at
    // 40 - p * (content height - 582) in the window.
    float scrollPosition() const;
    void scrollTo(float p);
    int rackTop() const;
    // Scrolls when y (window) lies more than `margin` beyond the visible rack; returns
    // the pixels scrolled (negative upwards), 0 when nothing moved.
    int autoScroll(int y, int margin, float speed);

    // A module chosen from the module menu: built, then hung on the mouse until the
    // next click drops it (a bad place deletes it). Without a window it goes to the
    // first free place instead.
    Module* addModuleFromMenu(const char* displayName);
    void placeNewModule(Module* m);
    CMouseEventResult moduleMouseDown(Module* m, CPoint& where, long buttons) override;
    CMouseEventResult moduleMouseMoved(Module* m, CPoint& where, long buttons) override;
    CMouseEventResult moduleMouseUp(Module* m, CPoint& where, long buttons) override;
    // The dragged module follows the mouse (rack coordinates): snapped to the grid
    // and rows where it may rest, freely where it may not.
    void dragModuleTo(const CPoint& rackPoint);
    // Ends a module drag as a release would: a bad drop goes home (or, for a new
    // module, is deleted).
    void endModuleDrag();

    // Drag state.
    Module* draggedModule = nullptr;
    bool placingModule = false;
    CPoint grabOffset;
    CPoint dragStart;
    bool badDrop = false;
    bool cableDragging = false;
    // Where a cable drag last saw the mouse (window coordinates).
    CPoint cableDragPoint;
    // The mouse moved while a cable is dragged (window coordinates): the loose end
    // follows it and the rack auto-scrolls near its top and bottom.
    void cableDragMoved(const CPoint& framePoint);

    // Cables on screen (SynCables.cpp). Rack coordinates throughout.
    // ARGB: 0 the shadow, 1 to 6 red, green, blue, gray, orange, purple, 7 MIDI.
    static const uint32_t kCableColours[8];
    // The jack a cable drag runs from, its loose end and its colour index.
    PatchPoint* cableStart = nullptr;
    CPoint cableEnd;
    int cableDragColour = 1;
    // The cable colour menu's choice: 0 "Random", 1 to 6 the colours of the table.
    int chosenCableColour = 0;
    // The entry chosen in the cable colour menu (0 to 6; others are ignored).
    void chooseCableColour(int entry);
    bool moduleDragRunning() const override { return draggedModule != nullptr; }
    bool cableDragRunning() const override { return cableDragging; }
    PatchPoint* cableDragJack() const override { return cableStart; }
    void startCableDrag(PatchPoint* jack, const CPoint& rackPoint) override;
    void joinCableDrag(PatchPoint* target) override;
    void cancelCableDrag() override;
    CView* viewUnderCable(const CPoint& framePoint) override;
    // The rectangle a cable between these ends may paint, shadow and bow included.
    static CRect cableArea(const CPoint& p0, const CPoint& p2);
    static CRect cableArea(const Cable* c);
    // The cables meeting `area` and then the one being dragged; the context's origin
    // is the rack's corner.
    void drawCables(CDrawContext* context, const CRect& area);
    // A rack rectangle for redraw.
    void invalidateRackArea(const CRect& r);
    // The view that follows the mouse while a MIDI cable is dragged (in the rack then).
    CView* getMidiPlug() const { return midiPlug; }

    // Menus (SynMenus.cpp). Each opens in the window at the mouse (rack points are in
    // rack coordinates); without a window they do nothing.
    void openModuleMenu();
    void openMainMenu();
    // The preset library as cascading menus below the preset button (SynPresetMenu.cpp).
    void openPresetMenu();
    SynOptionMenu* getPresetRootMenu() const { return presetRootMenu; }
    void openModuleContextMenu(Module* m, const CPoint& rackPoint);
    void openKnobMenu(ModuleKnob* knob, const CPoint& where) override;
    // At a window point; its check mark sits on the chosen colour.
    void openCableColourMenu(const CPoint& where);
    // Closes whichever menu is open.
    void closeMenus();
    // Reads the options of that "Config.ini" (the one beside the plug-in at
    // construction) and builds the menus they shape; later writes go to that file.
    void loadOptions(const std::string& configPath);
    COptionMenu* getModuleMenu() const { return moduleMenu; }
    COptionMenu* getMainMenu() const { return mainMenu; }
    COptionMenu* getOversamplingMenu() const { return oversamplingMenu; }
    COptionMenu* getFilterMenu() const { return filterMenu; }
    COptionMenu* getTransparencyMenu() const { return transparencyMenu; }
    COptionMenu* getModuleContextMenu() const { return contextMenu; }
    COptionMenu* getBandlimitMenu() const { return bandlimitMenu; }
    COptionMenu* getKnobMenu() const { return knobMenu; }
    COptionMenu* getCableColourMenu() const { return cableColourMenu; }

    // The index each optional-shifted entry received (-1: not in the menu).
    struct MainMenuIndex {
        int open = -1, save = -1, saveAs = -1, saveAsNewVersion = -1, refresh = -1, description = -1,
            defaultAuthor = -1, oversampling = -1, filter = -1, transparency = -1, about = -1;
    };
    struct ContextMenuIndex {
        int remove = -1, noOversampling = -1, bandlimit = -1, alwaysOn = -1;
    };
    const MainMenuIndex& mainMenuIndex() const { return mainIndex; }
    const ContextMenuIndex& contextMenuIndex() const { return contextIndex; }

    // What the option menus set; the menus' marks follow.
    void chooseOversampling(int entry);
    void chooseFilter(int entry);
    void chooseTransparency(int entry);

    // The main menu's dialogs, with their fixed texts.
    void showPresetDescriptionDialog();
    void showDefaultAuthorDialog();
    void showAboutDialog();
    static constexpr const char* kVersionText = "v0.022 BETA";
    // Cable alpha for a "Transparency" value 0 to 4 (outside: the nearest of those).
    static int transparencyAlpha(int entry);
    // The "Oversampling" entry of a factor (2^entry; 256 and above give the last).
    static int oversamplingEntry(int factor);

    // Shows the current preset's name, then the author briefly (timer C).
    void showPresetName();
    void restartAuthorFlash();
    void authorFlashTick();

    // Knob Copy / Paste: no host automation, no controlChanged; smoothing picks it up.
    void copyKnob(CControl* knob) { knobClipboard = knob->getValue(); }
    void pasteKnob(CControl* knob) { knob->setValue(knobClipboard); }

    // Rows of the rack. removeRow deletes the modules in the last row first; the
    // preset reader only trims rows after emptying the rack.
    void addRow();
    bool removeRow();

    // Host chunk. The buffer stays valid until the next call. A chunk is built at
    // once, window or not, so the host always gets back the patch it last set.
    const std::vector<uint8_t>& writeChunk();
    bool readChunk(const uint8_t* data, size_t size);

    // Held by the editor thread while it opens, closes, handles events and draws (all
    // in idle), and by the host's chunk calls, which may come on another thread: a
    // load never deletes views under a drawing frame, and a save never reads a patch
    // the mouse is halfway through editing. The audio thread never takes it, so
    // drawing cannot hold up a block. Taken before the engine lock, never inside it.
    std::recursive_mutex viewLock;

    // Preset files. Writing goes to a file beside the target that is renamed into
    // place, so a failed save never destroys the previous file.
    bool writePresetFile(const std::string& path);
    bool readPresetFile(const std::string& path);

    // The preset library, for the preset menu, the previous/next buttons and the main
    // menu's file entries; the file dialogs hand over the path the user chose. A preset
    // that cannot be read leaves the playing patch, its path and its name alone and
    // says why in the message dialog.
    enum class PresetSave { saved, needsPath, failed };
    // Scanned from `presetsFolder` on first use, and again when that folder changes.
    PresetLibrary& presetLibrary();
    bool loadLibraryEntry(const PresetMenu* menu, int index);
    bool stepPreset(int direction);
    bool openPreset(const std::string& path);  // "Open..."
    // "Save": needsPath when there is no path yet or the patch came from a chunk, so a
    // path rebuilt from a host project is never overwritten without asking.
    PresetSave savePreset();
    bool savePresetAs(const std::string& path);  // "Save As..."
    PresetSave savePresetAsNewVersion();         // needsPath: ask as for "Save As..."
    void refreshPresetsLibrary();
    // Marks the current preset in the library and shows its name (and the author).
    void refreshPresetDisplay(bool addMissing);
    // Where the file dialogs start: the current preset's folder, else the library.
    std::string presetDialogFolder() const;
    // "Open..." and "Save As..." ask the desktop's file chooser when one is installed
    // (answered in idle(), so the host and the editor keep running), else the
    // in-window path dialog. A cancelled chooser changes nothing.
    bool fileChooserRunning() const { return fileChooser.state() == platform::FileChooser::State::running; }
    void pollFileChooser();

    // Messages the user must see: shown in the editor's dialog while the window is
    // open; the last one is kept either way.
    void showMessage(const std::string& title, const std::string& text);
    static constexpr int kMessageWidth = 480;
    std::string lastMessageTitle, lastMessageText;

    int rowCount = 3;
    int rowSelector = 2;
    // Set while valueChanged runs; host parameter writes are ignored meanwhile.
    std::atomic<bool> changing{false};
    float knobClipboard = 0.f;

    std::string author;
    std::string description;
    std::string defaultAuthor;
    bool overwriteAuthor = false;
    bool advancedOversampling = false;
    int cableAlpha = 255;
    std::string presetPath;
    std::string presetName;
    std::string presetsFolder;
    bool fromChunk = false;
    platform::ConfigIni config;

private:
    // Menus (SynMenus.cpp). The menu code's part of valueChanged: true when the
    // control was one of the menus.
    void buildMenus();
    void releaseMenus();
    bool menuChosen(CControl* control);
    bool mainMenuChosen(int index);
    // Dialog answers, through DialogWindow's callback.
    enum class PendingDialog { none, description, defaultAuthor, openPath, savePath };
    static void dialogAnswered(void* user, DialogWindow* dialog, int button);
    void showPathDialog(PendingDialog purpose, const char* title);
    // An OK / Cancel dialog whose answer goes to dialogAnswered for that purpose.
    DialogWindow::Content questionDialog(PendingDialog purpose, const char* title, int width);
    // The module a menu was opened on, when it is still in the rack.
    Module* liveModule(Module* m) const;
    void reportToHost(CControl* control);

    COptionMenu* moduleMenu = nullptr;
    std::vector<COptionMenu*> categoryMenus;
    std::vector<std::vector<const ModuleClassInfo*>> categoryEntries;
    COptionMenu* mainMenu = nullptr;
    COptionMenu* oversamplingMenu = nullptr;
    COptionMenu* filterMenu = nullptr;
    COptionMenu* transparencyMenu = nullptr;
    COptionMenu* contextMenu = nullptr;
    COptionMenu* bandlimitMenu = nullptr;
    COptionMenu* knobMenu = nullptr;
    COptionMenu* cableColourMenu = nullptr;
    MainMenuIndex mainIndex;
    ContextMenuIndex contextIndex;
    Module* contextModule = nullptr;
    ModuleKnob* menuKnob = nullptr;
    PendingDialog pendingDialog = PendingDialog::none;
    SynOptionMenu* presetRootMenu = nullptr;
    void releasePresetMenu();
    bool presetMenuChosen(COptionMenu* menu, int index);
    platform::FileChooser fileChooser;
    PendingDialog chooserPurpose = PendingDialog::none;
    void askForPresetPath(PendingDialog purpose, const char* title);

    // Replaces the patch with a checked parse; the old patch is kept when it fails.
    bool readPatch(const uint8_t* data, size_t size, bool chunk);
    void applyRowCount(int rows);
    bool loadPresetOrSayWhy(const std::string& path);

    PresetLibrary library;

    // After the row count changed: rack size, scroll size and position, redraw.
    void layoutRack();
    // The rack at the scroll position, with that content height.
    void placeRack(int contentHeight);
    void buildWindowViews();
    void startModuleDrag(Module* m, const CPoint& rackPoint);
    // Whether the module may rest at (x, y): no other module under the 12-pixel
    // probes along its top line.
    bool probesClear(Module* m, int x, int y);
    // The module's area and its cables', for redraw.
    void invalidateWithCables(Module* m);

    SynRack* rack;
    CView* midiPlug = nullptr;
    // Drag area and plug image off, start jack unplugged when it kept no cable.
    void finishCableDrag();
    std::vector<CView*> rowViews;
    std::vector<uint8_t> chunkBuffer;

    SynFrame* frame = nullptr;
    DialogWindow* dialog = nullptr;
    SynScrollbar* scrollbar = nullptr;
    // The window's views in the order they are added to the frame.
    std::vector<CView*> windowViews;
    CKickButton* addRowButton = nullptr;
    CKickButton* removeRowButton = nullptr;
    SynMenuButton* moduleMenuButton = nullptr;
    SynMenuButton* mainMenuButton = nullptr;
    SynMenuButton* presetMenu = nullptr;
    CKickButton* previousPresetButton = nullptr;
    CKickButton* nextPresetButton = nullptr;
    CTextLabel* presetNameLabel = nullptr;
    CTextLabel* authorLabel = nullptr;
};
