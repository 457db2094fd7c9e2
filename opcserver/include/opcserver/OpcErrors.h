// The framework's two exception kinds, how an exception becomes a COM result, and the
// OPC message table behind GetErrorString.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

#include "opcerror.h"

namespace corvane::opc {

// Carries one result code for a client; its message is empty.
class EOpcError : public std::exception {
  public:
    explicit EOpcError(HRESULT code) : code_(code) {}
    HRESULT Code() const { return code_; }
    const char* what() const noexcept override { return ""; }

  private:
    HRESULT code_;
};

// A programming or configuration error of the framework, with its message text.
class EOpcServer : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The result a COM method returns for `e`: its code when that is a failure code, E_FAIL
// for a success code (a raised success is still a failure of the call).
HRESULT OpcResultOf(const EOpcError& e);

// The framework's own text for an OPC code, or nullptr.
const char* OpcErrorText(HRESULT code);

// Messages of EOpcServer.
inline constexpr const char* kNoItemServer = "OPCSERV: No item server";
inline constexpr const char* kOnlyOneNamespace = "OPCSERV: Only one instance of namespace allowed";
inline constexpr const char* kNoOpcWindow = "OPCSERV: Could not allocate Opc Window";
inline constexpr const char* kFlatNewBranch = "Cannot call NewBranch in flat address space";
std::string InvalidBranchName(const std::string& name);   // "%s is an invalid branch name"
std::string ClipFormatFailed(const std::string& format);  // "Could not register %s clip format"

}  // namespace corvane::opc
