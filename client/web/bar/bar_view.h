// The bar form in the panel page: one element per part of the layout, with
// the part's layout name as its id, placed where the core's layout puts it,
// each control bound to its model. The view decides nothing: it renders
// models and hands the user's input to the form's handlers.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "client/core/navlet.h"
#include "client/web/bar/dom.h"
#include "client/web/kit/web_browser.h"
#include "client/web/kit/web_kit.h"

namespace navlet::web {

class TBarView {
  public:
    // The bar, the menu tracker and the browser factory outlive the view.
    TBarView(TNavlet& bar, TWebMenuTracker& menus, const TWebBrowserFactory& browsers);
    TBarView(const TBarView&) = delete;
    TBarView& operator=(const TBarView&) = delete;

    // The panel's size changed (or the band height the bar asked for).
    void Resize(int32_t width, int32_t height);

  private:
    val Part(TPart part, const char* tag = "div");
    val Placed(TPart part) const { return placed[size_t(part)]; }
    void Panel(TPart part, TColor colour);
    void LayOut();
    // The keyboard's order: the core's reading order for the layout shown.
    void OrderTabStops();
    void BindVisible(TPart part, TControl& model);
    void Watch(TModel& model, std::function<void()> render);

    void BuildBannerPanels();
    void BuildLabels();
    void BuildEdits();
    void BuildButtons();
    void BuildTicker();
    void BuildLists();
    void BuildChat();
    void BuildSearchBox();
    void BuildLowerStrip();
    void BindKeys();
    void BindFocus();

    void RenderList(TListView& model, val element);
    void RenderTabs();
    void RenderChatView();
    void PaintTicker();
    void PaintLowerStrip();

    TNavlet& bar;
    TWebMenuTracker& menus;
    const TWebBrowserFactory& browsers;
    std::vector<val> placed;
    std::vector<TModel::TObservation> observations;
    TModel::TObservation viewObservation; // the active chat view's
    val chatView = val::null();           // the conversation area under the tabs
    val tabStrip = val::null();
    // The login, search and friends panels' pictures, drawn for the bar's
    // 290-px banner area: a column's reflowed controls lie over them.
    std::vector<std::pair<TPart, val>> panelPictures;
    TChatView* shownView = nullptr;
    int shownScrollRequests = 0;
};

} // namespace navlet::web
