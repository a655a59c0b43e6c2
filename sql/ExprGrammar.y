/* The expression language of the query engine's evaluator.
 *
 * Only the automaton is taken from this file: bison builds the LALR tables
 * (tools/yacctables/ParseTables.cmake), which the program carries as the
 * resources "QEXPRYACC_YYA" ... "QEXPRYACC_YYR".  The rule actions are C++
 * in sql/ExprParser.cpp, chosen by rule number: keep the rules below and
 * the ExprRule enumeration there in the same order (the parser checks each
 * rule's length against the tables).
 *
 * Decisions this grammar makes where the language leaves room:
 *  - BETWEEN, IN, LIKE and their NOT forms share the comparisons' level
 *    (left to right), so they take everything to their left up to the
 *    nearest AND, OR or XOR: a = b LIKE 'x' is (a = b) LIKE 'x'.
 *  - The NOT of NOT BETWEEN/IN/LIKE is the token NOT in operator position;
 *    a prefix NOT binds tightest (rule precedence UNOT), so NOT a = b is
 *    (NOT a) = b and NOT a LIKE 'x' is (NOT a) LIKE 'x'.
 *  - Prefix + and - bind tighter than ^ (UMINUS): -2 ^ 2 is (-2) ^ 2.
 *  - A sign directly followed by digits is one signed-integer token, so
 *    x-1 is an identifier and a signed integer, which no rule takes.
 *  - Empty argument lists: NAME, NAME() and IF without a list all give
 *    the construct no parameter list.
 *  - CASE keeps its WHEN/THEN pairs and its ELSE on the expression stack,
 *    so a CASE inside a CASE builds correctly.
 */
%define lr.default-reduction consistent
%expect 0

%token IDENT 257 UINT 258 SINT 259 NUMBER 260 STRING 261
%token COMMA 262 LPAREN 263 RPAREN 264 DOT 265
%token OR 266 XOR 267 AND 268
%token EQ 269 NEQ 270 GT 271 LT 272 GE 273 LE 274
%token BETWEEN 275 IN 276 LIKE 277
%token PLUS 278 MINUS 279 SLASH 280 DIV 281 STAR 282 MOD 283 SHL 284 SHR 285
%token CARET 287 NOT 288
%token ILLEGAL 289 COMMENT 290 BLANK 291 TAB 292 NEWLINE 293
%token TRUE_ 294 FALSE_ 295 KW_STRING 296 KW_FLOAT 297 KW_INTEGER 298 KW_BOOLEAN 299
%token CASE 300 WHEN 301 THEN 302 ELSE 303 END 304 IF 305 CAST 306 AS 307 ESCAPE 308

%left OR XOR AND
%left EQ NEQ LT GT LE GE BETWEEN IN LIKE NOT
%left PLUS MINUS
%left STAR SLASH DIV MOD SHL SHR
%right CARET
%precedence UMINUS
%precedence UNOT

%start input

%%

input: expr                                   /* 1 */
  ;

expr: literal                                 /* 2 */
  | IDENT call_args                           /* 3 */
  | IDENT DOT IDENT call_args                 /* 4 */
  | CAST LPAREN expr AS cast_type RPAREN      /* 5 */
  | KW_FLOAT call_args                        /* 6 */
  | KW_INTEGER call_args                      /* 7 */
  | KW_BOOLEAN call_args                      /* 8 */
  | IF call_args                              /* 9 */
  | CASE when_list else_part END              /* 10 */
  | expr BETWEEN literal AND literal          /* 11 */
  | expr NOT BETWEEN literal AND literal      /* 12 */
  | expr IN call_args                         /* 13 */
  | expr NOT IN call_args                     /* 14 */
  | expr LIKE literal escape                  /* 15 */
  | expr NOT LIKE literal escape              /* 16 */
  | MINUS expr %prec UMINUS                   /* 17 */
  | PLUS expr %prec UMINUS                    /* 18 */
  | NOT expr %prec UNOT                       /* 19 */
  | expr CARET expr                           /* 20 */
  | expr STAR expr                            /* 21 */
  | expr SLASH expr                           /* 22 */
  | expr DIV expr                             /* 23 */
  | expr MOD expr                             /* 24 */
  | expr AND expr                             /* 25 */
  | expr SHL expr                             /* 26 */
  | expr SHR expr                             /* 27 */
  | expr PLUS expr                            /* 28 */
  | expr MINUS expr                           /* 29 */
  | expr OR expr                              /* 30 */
  | expr XOR expr                             /* 31 */
  | expr EQ expr                              /* 32 */
  | expr NEQ expr                             /* 33 */
  | expr LT expr                              /* 34 */
  | expr GT expr                              /* 35 */
  | expr LE expr                              /* 36 */
  | expr GE expr                              /* 37 */
  | LPAREN expr RPAREN                        /* 38 */
  ;

literal: UINT                                 /* 39 */
  | SINT                                      /* 40 */
  | NUMBER                                    /* 41 */
  | STRING                                    /* 42 */
  | TRUE_                                     /* 43 */
  | FALSE_                                    /* 44 */
  ;

cast_type: KW_STRING                          /* 45 */
  | KW_FLOAT                                  /* 46 */
  | KW_INTEGER                                /* 47 */
  | KW_BOOLEAN                                /* 48 */
  ;

call_args: %empty                             /* 49 */
  | lparen RPAREN                             /* 50 */
  | lparen arg_list RPAREN                    /* 51 */
  ;

lparen: LPAREN                                /* 52 */
  ;

arg_list: expr                                /* 53 */
  | arg_list COMMA expr                       /* 54 */
  ;

when_list: WHEN expr THEN expr                /* 55 */
  | when_list WHEN expr THEN expr             /* 56 */
  ;

else_part: %empty                             /* 57 */
  | ELSE expr                                 /* 58 */
  ;

escape: %empty                                /* 59 */
  | ESCAPE STRING                             /* 60 */
  ;

%%
