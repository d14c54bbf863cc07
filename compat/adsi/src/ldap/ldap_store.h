// The LDAP store: a real directory server reached through libldap. One store
// is made per ADsGetObject of a server's path and holds one connection, taken
// from the pool (connection_pool.h); the objects reached from that object (its
// children, its members, its searches) share the store, so one call uses one
// connection, and the connection goes back to the pool when the last of them
// is released. Calls on different threads bind their own stores; the
// connection's lock serialises any use from several threads.
#pragma once

#include <memory>

#include "ads_path.h"
#include "ldap/connection_key.h"
#include "ldap/ldap_connection.h"
#include "store/directory_store.h"

namespace adsi {

class LdapStore : public DirectoryStore, public std::enable_shared_from_this<LdapStore> {
 public:
  // Connects and binds to the server `path` names (or the platform's default
  // server for a serverless path) and reads its schema.
  static HRESULT open(const AdsPath& path, std::shared_ptr<DirectoryStore>& store);
  ~LdapStore() override;

  HRESULT readEntry(std::string_view dn, EntryPtr& entry) override;
  void readEntries(const std::vector<std::string>& dns, std::vector<EntryRead>& reads) override;
  std::unique_ptr<PendingReads> startReadEntries(std::vector<std::string> dns) override;
  HRESULT search(const SearchRequest& request, std::unique_ptr<SearchCursor>& cursor) override;
  ADSTYPE attributeType(std::string_view name) const override;
  HRESULT readRootDse(EntryPtr& entry) override;
  std::string namingContext() const override;
  bool answersTo(std::string_view server) const override;
  std::string serverName() const override;

 private:
  LdapStore(ConnectionKey key, std::shared_ptr<LdapConnection> connection, int idleSeconds)
      : key_(std::move(key)),
        connection_(std::move(connection)),
        schema_(connection_->schema()),
        idleSeconds_(idleSeconds) {}

  ConnectionKey key_;
  std::shared_ptr<LdapConnection> connection_;
  std::shared_ptr<const Schema> schema_;
  int idleSeconds_;  // how long the pool keeps the connection after this store
};

}  // namespace adsi
