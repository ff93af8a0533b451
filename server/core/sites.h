// The sites and who is on them: presence here and through the other nodes,
// the welcome of a session arriving on a site, the public lines and the
// banner rotation. One code path for a node alone and a cluster's: the other
// nodes are reached through the cluster link only.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "protocol/messages.h"
#include "protocol/requests.h"
#include "server/core/banners.h"
#include "server/core/client.h"
#include "server/core/clock.h"
#include "server/core/cluster_link.h"
#include "server/core/directory.h"
#include "server/core/reports.h"
#include "server/core/said_lines.h"

namespace navlet::server {

// An account present on a site through this node, with its place in the
// site's order of arrival (welcomes list by it).
struct TPerson {
    TAccountEntry* entry = nullptr;
    uint64_t arrival = 0;
};

// A site's recent public lines, oldest first, at most a bound of them. A
// ring: once full, the newest line takes the oldest one's slot and the room
// of its strings, so a busy site keeps its lines without allocating.
class TRecentLines {
  public:
    bool empty() const { return lines.empty(); }
    size_t size() const { return lines.size(); }
    void Keep(size_t bound, double stamp, uint8_t language, std::string_view nick,
              std::string_view text);
    void Keep(size_t bound, cluster::TKeptLine line);
    template <class F> void ForEach(F&& f) const {
        for (size_t i = 0; i < lines.size(); ++i)
            f(lines[(oldest + i) % lines.size()]);
    }

  private:
    // The slot of the next line: a new one below the bound, else the oldest.
    cluster::TKeptLine* NextSlot(size_t bound);

    std::vector<cluster::TKeptLine> lines;
    size_t oldest = 0; // index of the oldest line once the ring is full
};

// Sessions of one account on one site count as one person there: the site
// lists the account once, from its first session's arrival until its last
// session leaves.
struct TSite {
    std::string host;                // folded
    std::vector<TClient*> users;     // sessions, in order of arrival
    std::vector<TPerson> people;     // accounts present, in order of arrival
    std::vector<TRemoteUser> remote; // accounts present through other nodes, likewise
    uint64_t arrivals = 0;           // arrivals so far, local and remote
    TRecentLines recent;
    size_t bannerIndex = 0;
    TSaidLines said{}; // for reports, longer than `recent`
};

inline constexpr std::string_view INVISIBLE_LINE_REFUSED =
    "You are invisible: the site does not see your lines.";

// A presence record of `account`, encoded once for every receiver.
TWireRef PresenceWire(const TAccount& account, uint8_t listFlag, uint64_t chatKey);
// The session's own record, which confirms its sign-in and its text code.
TWireRef OwnPresenceWire(const TClient& client);

// Whether a receiver's language mask lets through a sender's profile
// language: bit k-1 for language k (1 to 13), bit 31 for any other.
// (Inline: it is asked once per receiver of every public line.)
inline bool ReadsLanguage(uint32_t mask, int language) {
    int bit = (language >= 1 && language <= MAX_LANGUAGE) ? language - 1 : 31;
    return (mask >> bit) & 1u;
}

// "host" of a reported address: the text before the first '/', folded; empty
// (no site) when it holds anything but host characters.
std::string SiteHostOf(std::string_view url);

// What the sites need of the other subsystems. The front implements it, so
// that the sites depend on none of them.
class TSiteNeighbours {
  public:
    // The session leaves its private chats as it leaves `site`; members on
    // the site hear "user left" from the site instead when the account
    // leaves it too.
    virtual void LeaveChats(TClient& client, const TSite* site, bool accountLeavesSite) = 0;
    // The friends' records of a sign-in's welcome. Empty while other nodes
    // still answer about them: they then join the welcome when the answers
    // come (TWelcome::friends), or follow it.
    virtual std::vector<TWireRef> WelcomeFriends(const TClient& client,
                                                 const std::vector<TAccount>& friends) = 0;
    // The session came onto its site (`accountArrives`: the account too, in
    // sight of the site): friends on the site and the session hear of each other.
    virtual void FriendsMeet(TClient& client, bool accountArrives) = 0;
    // An account that tells its friends where it is came onto `site`
    // through another node: its friends' sessions here on the site hear it.
    virtual void FriendCameThroughNode(const TSite& site, const TAccount& account) = 0;
    // The sign-in's site is entered: the calls kept for the account follow.
    virtual void DeliverKeptCalls(TClient& client) = 0;

  protected:
    ~TSiteNeighbours() = default;
};

class TSiteDesk {
  public:
    struct TLimits {
        int64_t bannerIntervalMs = 60000;
        size_t recentLines = 20; // public lines a site keeps for newcomers
    };
    TSiteDesk(TDirectory& directory, TSiteNeighbours& neighbours, TClusterLink& link,
              const TClock& clock, TBannerSet banners, TLimits limits);
    ~TSiteDesk();
    TSiteDesk(const TSiteDesk&) = delete;
    TSiteDesk& operator=(const TSiteDesk&) = delete;
    void SetLink(TClusterLink& l) { link = &l; }

    // Enters the site of `url`. On a cluster a site new to this node is read
    // from Redis first, so that the welcome lists the other nodes' users and
    // the site's recent lines as one node's would. `friends` is set for the
    // sign-in's welcome, which the kept calls follow.
    void EnterSiteWhenKnown(TClient& client, std::string_view url,
                            const std::vector<TAccount>* friends);
    // The session leaves its site (it moves, or it goes); a pause keeps its
    // private chats.
    enum class TChats { Leave, Keep };
    void LeaveSite(TClient& client, TChats chats = TChats::Leave);
    // The account turned invisible (`listed` false) or visible again: its
    // session's site lists it no more, or again, as if it left or came. A
    // session listed already tells the other nodes its new privacy bits.
    void SetListed(TClient& client, bool listed);
    // A report with no site (empty, or no host) is a bar's pause: the session
    // leaves the site's list, keeps its private chats, and keeps them still
    // when it comes back to the same site.
    void SiteReport(TClient& client, std::string_view url);
    // The client's connection has room again: a welcome in progress goes on.
    void Drained(TClient& client);
    // A public line of the client to its site's users.
    void PublicLine(TClient& client, const std::string& text);
    // Rotates the sites' banners when it is time.
    void Tick(int64_t nowMs);

    // What the other nodes report (remote.cpp). Records and lines go to this
    // node's users of the site, as the site's own would.
    void RemoteEntered(const std::string& host, const std::string& node, const TAccount& account,
                       uint8_t privacy = PRIVACY_DEFAULT);
    void RemoteLeft(const std::string& host, const std::string& key);
    void RemoteLine(const std::string& host, uint64_t senderId, int language,
                    const std::string& nick, const std::string& text);
    // Forgets the remote users of `node` ("" = all nodes), telling the sites.
    void DropRemote(const std::string& node);
    // The viewer's sessions here stop seeing `other` on their sites, as if
    // it had left, or see it again (a block made or undone).
    void ShowPerson(const TAccountEntry& viewer, uint64_t other, bool visible);
    std::vector<std::string> LocalSites() const;
    // The public lines of `sender` that the client was shown on its site.
    void SaidTo(const TClient& client, uint64_t sender, std::vector<TQuotedLine>& out) const;
    // The remote users of a site known here, by key.
    std::vector<std::string> RemoteKeys(const std::string& host) const;
    // Whether the account is on the site through another node.
    static bool RemotelyOn(const TSite& site, uint64_t accountId);
    // The other nodes through which the account is present on the site.
    static std::set<std::string> NodesOn(const TSite& site, uint64_t accountId);
    // Whether the account is present on the site through this node or
    // through a node other than `node`.
    static bool PresentBesides(const TSite& site, uint64_t accountId, const std::string& node);
    // Whether a session of `entry` other than `except` is on `site`.
    static bool PresentOn(const TAccountEntry& entry, const TSite* site, const TClient* except);

    // Queries for the operator and the web site.
    std::vector<TSiteCount> BusiestSites(size_t limit) const;
    // This node's sessions on the site of `host` (any case).
    std::vector<TClient*> SessionsOn(std::string_view host) const;
    size_t SiteCount() const { return sites.size(); }
    const TBannerSet& Banners() const { return banners; }
    void ReplaceBanners(TBannerSet set) { banners = std::move(set); }
    void SetBannerInterval(int64_t ms) { limits.bannerIntervalMs = ms; }

  private:
    void EnterSite(TClient& client, std::string_view url, const std::vector<TAccount>* friends);
    TSite& SiteOf(const std::string& host);
    // The session joins the site's users; the site hears of the account
    // when it is its first session there.
    void Arrive(TClient& client, TSite& site);
    // welcome.cpp: the own record at once, the rest as the connection drains.
    void StartWelcome(TClient& client, const std::vector<TAccount>* friends);
    void ContinueWelcome(TClient& client);
    // Lists people from the welcome's cursor while the sink has room; false
    // when it ran out of room first.
    bool ListPeople(TClient& client);
    void FinishWelcome(TClient& client);
    void SendBanner(TClient& client);
    // One entry of the account (arrived at `arrival`, here or on another
    // node) left the site: "user left" to those who have its record, unless
    // the account stays through another entry.
    void TellLeft(TSite& site, const TAccount& account, uint64_t arrival, bool accountStays);
    // An arrival or departure to every local user of a site but `except`;
    // it may wait a moment for others.
    // Those who do not see `subject` (blocked either way) are left out.
    void DeliverPresenceToSite(TSite& site, const TWireRef& wire, uint64_t subject,
                               const TClient* except = nullptr);

    TDirectory& directory;
    TSiteNeighbours& neighbours;
    TClusterLink* link;
    const TClock& clock;
    TBannerSet banners;
    TLimits limits;
    std::unordered_map<std::string, std::unique_ptr<TSite>> sites; // by folded host
    // The friends of sign-ins whose site is still being read, by serial.
    std::unordered_map<uint64_t, std::shared_ptr<std::vector<TAccount>>> signInsWaiting;
    size_t sitesMade = 0;
    int64_t lastRotationMs = 0;
    std::shared_ptr<bool> alive; // lets late snapshots find the desk gone
};

} // namespace navlet::server
