#pragma once

#include <string_view>

namespace tessaly::wap {

// The words a page made from a deck shares between the transcoder that
// writes it (deck_reader, page_writer) and the runtime that brings it to life
// (wml_runtime.js): element ids, data-* attributes, and the keys of the
// deck's data (the JSON object in #wml-deck-data). A new WML element or
// runtime feature adds its words here first; the transcoder's tests check
// that both sides use no word missing from this list.
enum class PageWordKind {
    Id,         // an element id the runtime looks up
    Attribute,  // a data-* attribute on the cards' markup
    Deck,       // a key of the deck's data
    Card,       // a key of one of deck.cards
    Timer,      // a key of card.timer
    Event,      // a key of card.events: the event type, naming a task index
    Task,       // a key of one of deck.tasks
    Access,     // a key of deck.access
};

struct PageWord {
    PageWordKind kind;
    std::string_view name;
    // Whether the runtime reads it; the others are written for the page's
    // style or for tests.
    bool readByRuntime;
    std::string_view meaning;
};

inline constexpr PageWord PageVocabulary[] = {
    {PageWordKind::Id, "wml-deck-data", true,
     "the <script type=\"application/json\"> with the deck's data"},
    {PageWordKind::Id, "wml-note", true, "a note above the cards (a refused link, a closed deck)"},
    {PageWordKind::Id, "wml-script-note", true, "a script's error, in small type under the card"},
    {PageWordKind::Id, "wml-referrer", true,
     "the <meta name=\"referrer\"> a go's sendreferer sets"},

    {PageWordKind::Attribute, "data-card", false, "a card section's index in deck.cards"},
    {PageWordKind::Attribute, "data-task", true,
     "index in deck.tasks of what a link, soft key or option does"},
    {PageWordKind::Attribute, "data-v", true, "text with variable references, filled in as text"},
    {PageWordKind::Attribute, "data-alt", true, "an image's alt text with variable references"},
    {PageWordKind::Attribute, "data-src", true, "an image's address with variable references"},
    {PageWordKind::Attribute, "data-var", true, "the variable an input or select sets"},
    {PageWordKind::Attribute, "data-ivar", true, "the variable a select's chosen indexes go in"},
    {PageWordKind::Attribute, "data-value", true, "an input's or select's default value"},
    {PageWordKind::Attribute, "data-ivalue", true, "a select's default index"},
    {PageWordKind::Attribute, "data-format", true, "an input's format mask"},
    {PageWordKind::Attribute, "data-emptyok", true, "present when an input may be left empty"},
    {PageWordKind::Attribute, "data-value-template", true,
     "an option's value with variable references"},

    {PageWordKind::Deck, "cards", true, "the cards, in order"},
    {PageWordKind::Deck, "tasks", true, "every task of the deck; data-task and events index it"},
    {PageWordKind::Deck, "title", true, "the first card's title, for cards without one"},
    {PageWordKind::Deck, "access", true, "the head's <access>, when it has one"},
    {PageWordKind::Deck, "charset", true, "the charset the deck was read in; forms send in it"},
    {PageWordKind::Deck, "units", true,
     "compiled WMLScript units the page carries: address to base64 bytes"},

    {PageWordKind::Card, "id", true, "the card's id: its fragment"},
    {PageWordKind::Card, "title", true, "the card's title, with variable references"},
    {PageWordKind::Card, "newcontext", true, "present when entering the card starts a new context"},
    {PageWordKind::Card, "events", true, "the card's intrinsic events (the template's included)"},
    {PageWordKind::Card, "timer", true, "the card's <timer>, when it has one"},

    {PageWordKind::Timer, "name", true, "the variable that keeps what is left"},
    {PageWordKind::Timer, "value", true, "the start value, in tenths of a second"},

    {PageWordKind::Event, "onenterforward", true, "entering the card going forward"},
    {PageWordKind::Event, "onenterbackward", true, "entering the card going back"},
    {PageWordKind::Event, "ontimer", true, "the card's timer running out"},

    {PageWordKind::Task, "t", true, "go, prev, refresh or noop"},
    {PageWordKind::Task, "href", true, "a go's address, with variable references"},
    {PageWordKind::Task, "method", true, "a go's method: get or post"},
    {PageWordKind::Task, "enctype", true, "a posted go's encoding"},
    {PageWordKind::Task, "accept", true, "a go's accept-charset"},
    {PageWordKind::Task, "referer", true, "present when a go sends the referrer"},
    {PageWordKind::Task, "post", true, "a go's postfields: [name, value] pairs"},
    {PageWordKind::Task, "set", true, "the task's setvars: [name, value] pairs"},

    {PageWordKind::Access, "domain", true, "the domain that may link to the deck"},
    {PageWordKind::Access, "path", true, "the path that may link to the deck"},
};

}  // namespace tessaly::wap
