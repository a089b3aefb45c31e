// Tokenizes scripts with the TextMate grammar through the same engine editors use, and checks
// that chosen tokens in chosen files get the scopes they should (and not others).
// Usage: node grammar_test.js SOURCE_DIR
'use strict';
const fs = require('fs');
const path = require('path');

const root = path.resolve(process.argv[2] || path.join(__dirname, '..', '..'));
const modules = path.join(__dirname, 'node_modules');
let oniguruma, textmate;
try {
  oniguruma = require(path.join(modules, 'vscode-oniguruma'));
  textmate = require(path.join(modules, 'vscode-textmate'));
} catch (e) {
  console.log('FAIL: vscode-textmate or vscode-oniguruma missing; run scripts/install-deps');
  console.log('0 passed, 1 failed');
  process.exit(1);
}

const grammarPath = path.join(root, 'editors', 'textmate', 'orvane.tmLanguage.json');

async function loadGrammar() {
  const wasmPath = path.join(modules, 'vscode-oniguruma', 'release', 'onig.wasm');
  const wasm = fs.readFileSync(wasmPath);
  await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.length));
  const registry = new textmate.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (patterns) => new oniguruma.OnigScanner(patterns),
      createOnigString: (text) => new oniguruma.OnigString(text),
    }),
    loadGrammar: async () =>
      textmate.parseRawGrammar(fs.readFileSync(grammarPath, 'utf8'), grammarPath),
  });
  return registry.loadGrammar('source.orvane');
}

// Every token of a file: {line (1-based), text, scopes}; also the rule stack at the end.
function tokenize(grammar, file) {
  const lines = fs.readFileSync(path.join(root, file), 'utf8').split('\n');
  const tokens = [];
  let stack = textmate.INITIAL;
  lines.forEach((text, index) => {
    const result = grammar.tokenizeLine(text, stack);
    for (const t of result.tokens) {
      const piece = text.slice(t.startIndex, t.endIndex);
      tokens.push({line: index + 1, text: piece, scopes: t.scopes});
    }
    stack = result.ruleStack;
  });
  // A word after the last line is scoped as plain source unless a string or comment is open.
  const probe = grammar.tokenizeLine('probe', stack).tokens[0];
  return {tokens, lines, endsAtRoot: probe.scopes.length === 1};
}

const hasScope = (token, scope) =>
  token.scopes.some((s) => s === scope || s.startsWith(scope + '.'));

// [file, a text on the line, the token, the scope it must have, or `!scope` for one it must
// not have]. A token is matched by its exact text within the first line holding the marker.
const expectations = [
  // Keywords, function names, numbers, strings and comments in the first example.
  ['examples/hello.ov', '# A first', 'A first Orvane script...', 'comment.line.number-sign'],
  ['examples/hello.ov', 'def greet(name)', 'def', 'keyword.control'],
  ['examples/hello.ov', 'def greet(name)', 'greet', 'entity.name.function'],
  ['examples/hello.ov', 'def greet(name)', 'name', '!entity.name.function'],
  ['examples/hello.ov', 'return "Hello, "', 'return', 'keyword.control'],
  ['examples/hello.ov', 'return "Hello, "', 'Hello, ', 'string.quoted.double'],
  ['examples/hello.ov', 'return "Hello, "', '+', 'keyword.operator'],
  ['examples/hello.ov', 'for i in 0..6', 'for', 'keyword.control'],
  ['examples/hello.ov', 'for i in 0..6', 'in', 'keyword.control'],
  ['examples/hello.ov', 'for i in 0..6', '0', 'constant.numeric'],
  ['examples/hello.ov', 'for i in 0..6', '..', 'keyword.operator'],
  ['examples/hello.ov', 'for i in 0..6', '6', 'constant.numeric'],
  ['examples/hello.ov', 'squares = push(squares', 'push', 'support.function.builtin'],
  ['examples/hello.ov', 'squares = push(squares', 'squares', '!support.function.builtin'],
  ['examples/hello.ov', 'print(greet("world"))', 'print', 'support.function.builtin'],
  ['examples/hello.ov', 'print(greet("world"))', 'greet', '!support.function.builtin'],
  // Block comments: the star of "/*/" does not close one, "/**/" is a whole one, they do not
  // nest, and nothing inside counts.
  ['tests/scripts/syntax_tour.ov', '/*/ A block comment', '/*', 'comment.block'],
  ['tests/scripts/syntax_tour.ov', '/*/ A block comment', '/ A block comment: the star...',
   'comment.block'],
  ['tests/scripts/syntax_tour.ov', 'and comments do not nest', 'and comments do not nest: /*...',
   'comment.block'],
  ['tests/scripts/syntax_tour.ov', 'and comments do not nest', '*/', 'comment.block'],
  ['tests/scripts/syntax_tour.ov', 'let after_comment', 'let', 'keyword.control'],
  ['tests/scripts/syntax_tour.ov', '/**/', '*/', 'comment.block'],
  ['tests/scripts/syntax_tour.ov', 'global count', 'global', 'keyword.control'],
  ['tests/scripts/syntax_tour.ov', 'count += step', '+=', 'keyword.operator'],
  ['tests/scripts/syntax_tour.ov', 'count += step', 'count', '!keyword'],
  // Escapes: only \n \t \r \\ \" are escapes; "\0" stands for itself.
  ['tests/scripts/syntax_tour.ov', 'let text = ', '\\t', 'constant.character.escape'],
  ['tests/scripts/syntax_tour.ov', 'let text = ', '\\"', 'constant.character.escape'],
  ['tests/scripts/syntax_tour.ov', 'let text = ', '\\\\', 'constant.character.escape'],
  ['tests/scripts/syntax_tour.ov', 'let text = ', '\\0', '!constant.character.escape'],
  ['tests/scripts/syntax_tour.ov', 'let text = ', '\\0', 'string.quoted.double'],
  ['tests/scripts/syntax_tour.ov', 'let text = ', ' end', 'string.quoted.double'],
  ['tests/scripts/syntax_tour.ov', 'print("line one', '\\n', 'constant.character.escape'],
  // Numbers: digits, a dot and digits are one float; the range dots are not part of a number.
  ['tests/scripts/syntax_tour.ov', '1.5 => {', '1.5', 'constant.numeric.float'],
  ['tests/scripts/syntax_tour.ov', '1.5 => {', '=>', 'keyword.operator'],
  ['tests/scripts/syntax_tour.ov', 'for i in 0..3', '3', 'constant.numeric.integer'],
  ['tests/scripts/syntax_tour.ov', '2 ** 10', '**', 'keyword.operator'],
  ['tests/scripts/syntax_tour.ov', '2 ** 10', '1.25', 'constant.numeric.float'],
  ['tests/scripts/syntax_tour.ov', '_ => {', '_', 'constant.language'],
  ['tests/scripts/syntax_tour.ov', 'match v {', 'match', 'keyword.control'],
  ['tests/scripts/syntax_tour.ov', 'if i == 1', 'else', 'keyword.control'],
  ['tests/scripts/syntax_tour.ov', 'if i == 1', 'continue', 'keyword.control'],
  ['tests/scripts/syntax_tour.ov', 'while true {', 'true', 'constant.language'],
  ['tests/scripts/syntax_tour.ov', 'and not false', 'and', 'keyword.operator'],
  ['tests/scripts/syntax_tour.ov', 'and not false', 'not', 'keyword.operator'],
  ['tests/scripts/syntax_tour.ov', 'and not false', 'false', 'constant.language'],
  ['tests/scripts/syntax_tour.ov', 'and not false', 'break', 'keyword.control'],
  ['tests/scripts/syntax_tour.ov', 'try {', 'try', 'keyword.control'],
  ['tests/scripts/syntax_tour.ov', 'try {', 'catch', 'keyword.control'],
  ['tests/scripts/syntax_tour.ov', 'typeof(1.0)', 'typeof', 'support.function.builtin'],
  ['tests/scripts/syntax_tour.ov', 'typeof(1.0)', 'concat', 'support.function.builtin'],
  ['tests/scripts/syntax_tour.ov', 'def classify(v)', 'classify', 'entity.name.function'],
  // Quotes inside strings, and keywords inside strings and comments, stay strings and comments.
  ['tests/scripts/lang_values_display.ov', 'with \\"quotes', '\\"', 'constant.character.escape'],
  ['tests/scripts/lang_values_display.ov', 'with \\"quotes', 'quotes', 'string.quoted.double'],
  ['tests/scripts/lang_values_display.ov', 'with \\"quotes', ' and', '!keyword.operator'],
  ['tests/scripts/lang_values_display.ov', 'print(0, 42', '9223372036854775807',
   'constant.numeric'],
  ['tests/scripts/lang_values_display.ov', 'print(0, 42', '-', 'keyword.operator'],
  ['tests/scripts/lang_match_try.ov', 'match compares kinds', 'match compares kinds...',
   'comment.line.number-sign'],
  ['tests/scripts/lang_match_try.ov', '"1" => print', '1', 'string.quoted.double'],
  // Every drawing builtin in one file.
  ['tests/scripts/graphics_shapes.ov', 'print(rect(10, 20', 'rect', 'support.function.builtin'],
  ['tests/scripts/graphics_shapes.ov', 'print(circle(1.9', 'circle', 'support.function.builtin'],
  ['tests/scripts/graphics_shapes.ov', 'print(circle(1.9', '-', 'keyword.operator'],
  ['tests/scripts/graphics_shapes.ov', 'print(circle(1.9', '1.9', 'constant.numeric.float'],
  ['tests/scripts/graphics_shapes.ov', 'print(triangle(0', 'triangle', 'support.function.builtin'],
  ['tests/scripts/graphics_shapes.ov', 'print(color(300', 'color', 'support.function.builtin'],
];

function check(files, [file, marker, text, wanted]) {
  const {tokens, lines} = files(file);
  const lineNo = lines.findIndex((l) => l.includes(marker)) + 1;
  if (lineNo === 0) return `${file}: no line holds ${JSON.stringify(marker)}`;
  const prefix = text.endsWith('...') ? text.slice(0, -3).trim() : null;
  const matches = (t) =>
    (prefix ? t.text.trim().startsWith(prefix) : t.text.trim() === text.trim());
  const candidates = tokens.filter((t) => t.line === lineNo && matches(t));
  if (candidates.length === 0) {
    const seen = tokens.filter((t) => t.line === lineNo).map((t) => JSON.stringify(t.text));
    return `${file}:${lineNo}: no token ${JSON.stringify(text)} (tokens: ${seen.join(' ')})`;
  }
  const negated = wanted.startsWith('!');
  const scope = negated ? wanted.slice(1) : wanted;
  const ok = negated ? candidates.every((t) => !hasScope(t, scope))
                     : candidates.some((t) => hasScope(t, scope));
  if (ok) return null;
  return `${file}:${lineNo}: ${JSON.stringify(text)} ${negated ? 'has' : 'lacks'} ${scope} ` +
         `(scopes: ${candidates.map((t) => t.scopes.join(' ')).join(' | ')})`;
}

async function main() {
  const grammar = await loadGrammar();
  const cache = new Map();
  const files = (file) => {
    if (!cache.has(file)) cache.set(file, tokenize(grammar, file));
    return cache.get(file);
  };
  let passed = 0;
  let failed = 0;
  const report = (problem) => {
    if (problem) {
      console.log('FAIL: ' + problem);
      failed++;
    } else {
      passed++;
    }
  };
  for (const e of expectations) report(check(files, e));

  // Every golden script and example is tokenized without an error and ends back at the top
  // level, as the scanner leaves it.
  const scripts = ['examples', 'tests/scripts'].flatMap((dir) =>
    fs.readdirSync(path.join(root, dir))
      .filter((f) => f.endsWith('.ov'))
      .map((f) => `${dir}/${f}`));
  for (const file of scripts) {
    // The parser's own tests may end inside a string or comment on purpose.
    const open = !files(file).endsAtRoot && !path.basename(file).startsWith('parse_');
    report(open ? `${file}: a string or comment is left open` : null);
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

main().catch((e) => {
  console.log('FAIL: ' + (e && e.stack || e));
  console.log('0 passed, 1 failed');
  process.exit(1);
});
