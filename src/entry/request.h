// The state of one call and its phases: parameter intake, the query and the
// delivery of the answer. It lives on the entry's stack for the one call.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "result/growable_array.h"
#include "result/result_table.h"

class DirObject;
class ContainerObject;
class GroupObject;

class Request {
 public:
  explicit Request(SRV_PROC* connection) : srvproc(connection) {}
  virtual ~Request() = default;
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // Parameter intake.
  bool readParameters();
  bool bindParameters();
  bool readParameter(int number, std::string& target);
  bool parseFieldNames();

  // The query.
  bool runQuery();
  bool searchDirectory();
  bool fillPropertyRow(DirObject& object, bool reloadFirst);
  bool listGroupMembers(GroupObject& group);
  bool listChildObjects(ContainerObject& container);

  // Delivery.
  bool sendResultSet();

  std::string errorText;
  GrowableArray<int32_t> paramNumbers;
  ResultTable table;
  std::string adsPath;
  std::string filter;
  std::string fieldNames;
  SRV_PROC* srvproc;
  int32_t childObjects = 0;
  int32_t groupMembers = 0;

 private:
  template <class Walker>
  // False when the walk failed; the wrapper's text then says why.
  bool commitEachElement(Walker& walker, bool reloadFirst);
};
