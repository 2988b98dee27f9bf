// ListingWalk.cpp -- the entries of an UnZip or List collection, walked in the archive's order.
#include "tools/ListingWalk.h"

#include "client/DispatchObject.h"

namespace {

// One entry member, its dispatch id looked up on the first entry and reused for the rest: every
// entry of a collection is an object of the same type.
struct EntryMember {
  const char* name;
  DISPID id = DISPID_UNKNOWN;
  bool known = false;

  VariantValue Read(DispatchObject& entry) {
    if (!known) {
      id = entry.Lookup(name);
      known = true;
    }
    return entry.GetById(id, name);
  }
};

EntryDetails DetailsOf(IDispatch* entry) {
  EntryDetails details;
  void* pointer = nullptr;
  if (entry && SUCCEEDED(entry->QueryInterface(IID_IEntryDetails, &pointer)) && pointer) {
    auto* source = static_cast<IEntryDetails*>(pointer);
    source->GetDetails(&details);
    source->Release();
  }
  return details;
}

}  // namespace

std::size_t WalkListing(const VariantValue& collectionValue, const WantedMembers& wanted,
                        const std::function<void(const ListedEntry&, std::size_t)>& visit) {
  DispatchObject collection = DispatchObject::FromVariant(collectionValue);
  const LONG count = collection.Get("Count").AsLong(0);
  const DISPID item = collection.Lookup("Item");
  EntryMember name{"Name"}, type{"Type"}, size{"Size"}, savedName{"SavedName"}, passwordRequired{"PasswordRequired"},
      errorReason{"ErrorReason"};
  ListedEntry listed;
  for (LONG index = count; index >= 1; --index) {
    const VariantValue position = VariantValue::Long(index);
    DispatchObject entry = DispatchObject::FromVariant(
        collection.Invoke(item, "Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, position.get(), 1));
    listed.type = type.Read(entry).AsText();
    if (wanted.size) listed.size = size.Read(entry).AsLongLong(0);
    if (wanted.savedName) listed.savedName = savedName.Read(entry).AsText();
    if (wanted.passwordRequired) listed.passwordRequired = passwordRequired.Read(entry).AsText();
    // unzip needs the name only of an entry it has to report as not extracted.
    const bool notExtracted = !wanted.name && listed.savedName.empty();
    if (wanted.name || notExtracted) listed.name = name.Read(entry).AsText();
    listed.notExtractedReason = notExtracted || wanted.errorReason ? errorReason.Read(entry).AsText() : std::string();
    if (wanted.details) listed.details = DetailsOf(entry.get());
    visit(listed, static_cast<std::size_t>(count - index));
  }
  return static_cast<std::size_t>(count);
}
