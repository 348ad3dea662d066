// The reader of pugixml's parsed document: any well-formed XML text, parsed
// in place, its root's elements handed to the walk one by one. It is the
// reader that explains: every refusal names the element (or the syntax
// error) and where it starts, which fault it is, and the round and seat
// where it lies in the play.
#include <pugixml.hpp>

#include <vector>

#include "mjlog/walk.hpp"

namespace mjlog::parts {
namespace {

using pugi::xml_node;

[[nodiscard]] std::size_t offset_of(xml_node node) {
  const std::ptrdiff_t offset = node.offset_debug();
  return offset >= 0 ? static_cast<std::size_t>(offset) : 0;
}

[[nodiscard, gnu::cold]] ReadError element_error(xml_node node, const Fault& fault,
                                             std::optional<pairo::Round> round = std::nullopt) {
  ReadError error(std::string(node.name()) + ": " + fault.text, std::nullopt, fault.kind);
  error.round = round;
  error.seat = fault.seat;
  error.item = node.name();
  if (const std::ptrdiff_t offset = node.offset_debug(); offset >= 0) error.offset = static_cast<std::size_t>(offset);
  return error;
}

// An element's attributes, gathered once into `room` (reused from element
// to element): the walk looks several of them up by name.
[[nodiscard]] Attributes attributes_of(xml_node node, std::vector<Attribute>& room) {
  room.clear();
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    room.push_back(Attribute{a.name(), a.value()});
  }
  return Attributes(room);
}

[[nodiscard]] std::expected<xml_node, ReadError> root_of(const pugi::xml_document& document) {
  xml_node root;
  for (xml_node node = document.first_child(); node; node = node.next_sibling()) {
    if (node.type() != pugi::node_element) continue;
    if (root) return std::unexpected(element_error(node, {ErrorKind::NotARecord, "a second root element"}));
    root = node;
  }
  if (!root) return std::unexpected(ReadError{"not a game record: no root element", std::nullopt, ErrorKind::NotARecord});
  if (std::string_view(root.name()) != "mjloggm") {
    return std::unexpected(
        element_error(root, {ErrorKind::NotARecord, "not a game record: the root element is not mjloggm"}));
  }
  return root;
}

[[nodiscard]] std::expected<Record, ReadError> read_root(xml_node root) {
  std::vector<Attribute> room;
  Walk walk;
  if (auto done = walk.root(attributes_of(root, room)); !done) return std::unexpected(element_error(root, done.error()));
  for (xml_node node = root.first_child(); node; node = node.next_sibling()) {
    const pugi::xml_node_type type = node.type();
    if (type != pugi::node_element) [[unlikely]] {
      if (type == pugi::node_pcdata) {
        return std::unexpected(element_error(root, {ErrorKind::NotARecord, "holds text between its elements"}));
      }
      continue;
    }
    if (auto done = walk.element(node.name(), attributes_of(node, room), offset_of(node)); !done) {
      return std::unexpected(element_error(node, done.error(), walk.round()));
    }
    if (walk.stopped()) break;
  }
  if (!walk.stopped()) {
    if (auto done = walk.finish(); !done) return std::unexpected(element_error(root, done.error(), walk.round()));
  }
  return std::move(walk).take();
}

}  // namespace

// Only elements and their attributes are kept; references in attribute
// values are resolved where a text is kept (names, sexes), and numbers hold none.
std::expected<Record, ReadError> read_parsed(char* xml, std::size_t size) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer_inplace(xml, size, pugi::parse_minimal, pugi::encoding_utf8);
  if (!parsed) {
    return std::unexpected(ReadError{std::string("not well-formed XML: ") + parsed.description(),
                                 static_cast<std::size_t>(parsed.offset), ErrorKind::Syntax});
  }
  auto root = root_of(document);
  if (!root) return std::unexpected(std::move(root.error()));
  return read_root(*root);
}

}  // namespace mjlog::parts
