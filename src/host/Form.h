#pragma once
// Forms: a tree of controls plus non-visual components, owned by the
// application object; activation, focus with exit events, close and release.

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Controls.h"

namespace pla013::host {

enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };
enum class TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
enum class TFormStyle { fsNormal, fsMDIChild };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class Presentation { None, Child, Modal };
const char* PresentationName(Presentation p);  // "none", "child", "modal"

using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;

class TForm : public TControl {
public:
    explicit TForm(std::string name);
    ~TForm() override;

    // Components are created by and owned by the form.
    template <class T, class... A>
    T* AddControl(TControl* parent, std::string name, A&&... args) {
        auto c = std::make_unique<T>(this, parent ? parent : this, std::move(name), std::forward<A>(args)...);
        T* raw = c.get();
        AdoptControl(std::move(c));
        return raw;
    }
    template <class T, class... A>
    T* AddComponent(std::string name, A&&... args) {
        auto c = std::make_unique<T>(std::move(name), std::forward<A>(args)...);
        T* raw = c.get();
        m_components.push_back(std::move(c));
        return raw;
    }
    TControl* FindControl(const std::string& name) const;
    TObject* FindComponent(const std::string& name) const;  // controls and non-visual components
    // Every control in creation order (the form itself excluded).
    const std::vector<TControl*>& AllControls() const { return m_allControls; }

    TBorderStyle BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(TBorderStyle s);
    const std::set<TBorderIcon>& BorderIcons() const { return m_borderIcons; }
    void SetBorderIcons(std::set<TBorderIcon> icons);
    TFormStyle FormStyle() const { return m_formStyle; }
    void SetFormStyle(TFormStyle s);
    int ClientWidth() const { return m_clientWidth; }
    int ClientHeight() const { return m_clientHeight; }
    void SetClientSize(int w, int h);
    std::string HelpFile;
    Presentation GetPresentation() const { return m_presentation; }

    // Focus. Moving the focus away from a control runs its OnExit; when that
    // aborts, the focus stays where the handler left it and the abort goes on.
    TControl* ActiveControl() const { return m_active; }
    void FocusControl(TControl* control);
    // Next (or previous) control that can take the focus, in tab order.
    TControl* FindNextControl(TControl* from, bool forward) const;
    void SelectNext(bool forward = true);
    // Controls in tab order (depth first by TabOrder).
    std::vector<TControl*> TabSequence() const;

    // Lifecycle, driven by the application object and the host.
    void DoCreate();   // runs OnCreate
    void Activate();   // runs OnActivate
    void Show();       // child presentation: the host shows it and returns
    void ShowModal();  // modal presentation: returns when closed
    void Close();      // runs OnClose; caFree releases the form
    void Repaint();
    bool IsClosed() const { return m_closed; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnActivate;
    TCloseEvent OnClose;

    // Fields the form makes visible to its host (diagnostic dumps), by name.
    virtual std::vector<std::pair<std::string, Variant>> PublishedFields() const { return {}; }

    // Runs a method the form offers its host by name (diagnostic scripts);
    // false when the form has no such method.
    virtual bool Invoke(const std::string& method, const std::vector<std::string>& args) {
        (void)method;
        (void)args;
        return false;
    }

    // Diagnostics to the host's log (never a message to the user).
    void Log(const std::string& text) const;
    // A click by the user: controls that take the focus when clicked get it
    // first (the exit event of the control left runs and may abort the click).
    void UserClick(TControl* control);

private:
    void AdoptControl(std::unique_ptr<TControl> c);
    std::vector<std::unique_ptr<TObject>> m_components;
    std::vector<TControl*> m_allControls;
    TBorderStyle m_borderStyle = TBorderStyle::bsSizeable;
    std::set<TBorderIcon> m_borderIcons{TBorderIcon::biSystemMenu, TBorderIcon::biMinimize, TBorderIcon::biMaximize};
    TFormStyle m_formStyle = TFormStyle::fsNormal;
    int m_clientWidth = 0, m_clientHeight = 0;
    Presentation m_presentation = Presentation::None;
    TControl* m_active = nullptr;
    bool m_inExit = false;
    bool m_movedInExit = false;
    bool m_closed = false;
};

// The application object: owns every form and releases closed ones.
class TApplication {
public:
    // Creates a form owned by the application and runs its creation event;
    // when that fails the form is destroyed and the error goes on.
    template <class T, class... A>
    T* CreateForm(A&&... args) {
        auto f = std::make_unique<T>(std::forward<A>(args)...);
        T* raw = f.get();
        Adopt(std::move(f));
        try {
            raw->DoCreate();
        } catch (...) {
            Destroy(raw);
            throw;
        }
        return raw;
    }
    void Release(TForm* form);  // destroyed at the next ProcessReleases
    void ProcessReleases();
    void DestroyAll();
    const std::vector<std::unique_ptr<TForm>>& Forms() const { return m_forms; }
    bool Owns(const TForm* form) const;

private:
    void Adopt(std::unique_ptr<TForm> form);
    void Destroy(TForm* form);
    std::vector<std::unique_ptr<TForm>> m_forms;
    std::vector<TForm*> m_released;
};

TApplication& Application();

}  // namespace pla013::host
