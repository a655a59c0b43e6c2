// TextForm: the component text form, in which forms are defined (files
// under resources/) and the engine stores its table definitions.
//
//   object FrmData: TFrmData
//     Caption = '#185#164#215#202'          string; bytes >= 0x80 as #nnn
//     Left = 10                             integer
//     Ratio = 0.500000000000000000          float
//     Align = alClient                      enumeration; True / False
//     Options = [dgTitles, dgIndicator]     set
//     Font.Name = 'Arial'                   property of a sub-object
//     Lines.Strings = (                     list of strings
//       'a'
//       'b')
//     Columns = <                           collection
//       item
//         FieldName = 'F01'
//       end>
//     Data = {0A0B0C}                       binary (32 bytes a line)
//     Value = Null                          variant: also 12, 'a', 1.5, True,
//                                           45000.5d (date), 15000c (1.5)
//     DataSource = DataSource1              component reference
//     DataBase = FrmMain.UdbDataBase1       ... of another root
//     OnClick = Button1Click                event: a method the root publishes
//     object Table1: TUdbTable              owned component, nested
//     end
//   end
//
// Writing follows the class library's layout to the byte: two spaces of
// indent per level, CR LF line ends, strings cut into 64-byte pieces joined
// by " +" and a line break, bytes below 32, above 126 and the quote as #nnn
// (so the text is pure ASCII), floats in fixed notation with 18 decimals
// (16 significant digits, 17 when 16 do not give back the same double, and
// scientific notation when fixed notation cannot hold the value exactly).
// What is written is listed in TypInfo.h (defaults, Stored).
//
// Reading accepts what the writer writes and also: LF line ends, strings
// in quotes with '' for a quote, raw bytes (taken as code page 936),
// "'abc'#13#10'def'" concatenations and "+" across lines, #nnn above 255
// (UTF-16 code units, converted to code page 936), $hex integers, floats
// with an s/d/c suffix, "item [n]" and "object Name: TClass [n]" positions,
// and "inherited Name: TClass", which reads into the root's existing
// component of that name instead of creating one.
//
// Reading a root: every component read gets csLoading (and csReading while
// its own properties are read); references are resolved once the whole
// text is read; then Loaded runs on the root and on each created component
// in the order they were created.  A reference to a component of another
// root ("FrmMain.UdbDataBase1", "FrmData.Owner") is looked up among the
// global roots (RegisterGlobalRoot, SetGlobalComponentFinder); while that
// root is not there, the reference waits and is set when it is registered
// or has been read.  When reading fails,
// every component created by the read is deleted again.
//
// Errors: malformed text raises EParserError "<what> on line <n>"; an
// unknown class EClassNotFound "Class <name> not found on line <n>"; an
// unknown property, a value of the wrong kind or an unknown name
// EPropertyError "... on line <n>"; a float that cannot be written (NaN,
// infinity) EWriteError.
// Calls platform/core only.
#pragma once

#include <functional>
#include <string_view>

#include "platform/core/Component.h"

// The text form of root and of the components its GetChildren lists.
AnsiString ComponentToObjectText(TComponent* root);

// Reads the text form into root, an existing component (a form reading its
// definition, a table definition being read back).  The root takes the
// object's name; its class in the text is not checked.
void ObjectTextToComponent(std::string_view text, TComponent* root);

// Creates the root from the class registry (FindClass) with owner, reads
// the text into it and returns it.
TComponent* ObjectTextToNewComponent(std::string_view text, TComponent* owner = nullptr);

class TStream;

// The same over streams: the text is written at the stream's position and
// read from its position to its end (EReadError when the stream fails).
void WriteComponentToStream(TStream* stream, TComponent* root);
void ReadComponentFromStream(TStream* stream, TComponent* root);

// The class name in the text's first object header.
AnsiString ObjectTextClassName(std::string_view text);

// Roots (forms, data modules) that other roots refer to by name.  A root
// leaves the list by itself when it is deleted.  Registering resolves the
// references that were waiting for it.
void RegisterGlobalRoot(TComponent* root);
void UnregisterGlobalRoot(TComponent* root);
// A second way to find roots by name, for a layer that keeps its own list
// (the screen's forms and data modules): asked after the registered roots.
// Waiting references are tried again when it is set and after every root
// that is read, so a data module becomes findable once it has read its
// name.  An empty function removes it.
using TGlobalComponentFinder = std::function<TComponent*(std::string_view name)>;
void SetGlobalComponentFinder(TGlobalComponentFinder finder);
// The registered root of that name (case-insensitive), else the finder's
// answer; nullptr when neither knows it.
TComponent* FindGlobalComponent(std::string_view name);
// Number of references still waiting for their root (for diagnostics).
int PendingGlobalFixupCount();
