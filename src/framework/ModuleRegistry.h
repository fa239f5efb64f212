#pragma once

#include <vector>

class Module;
class Patch;

// One entry per module class: what the module menu shows and what the preset reader
// looks records up by.
struct ModuleClassInfo {
    const char* displayName;
    const char* vendor;
    int category;  // index into moduleCategories()
    Module* (*create)(Patch* editor);
};

namespace ModuleRegistry {

// Every module class, in menu order within each category.
const std::vector<ModuleClassInfo>& all();
// Exact match on display name and vendor; null when unknown.
const ModuleClassInfo* find(const char* displayName, const char* vendor);
// Exact match on display name alone (vendor "Kestrelmark").
const ModuleClassInfo* find(const char* displayName);
// The fourteen category titles of the module menu.
const std::vector<const char*>& categories();

}  // namespace ModuleRegistry

constexpr const char* kVendorName = "Kestrelmark";
constexpr int kVendorNameLen = 11;
