/* The SQL dialect of the query engine: queries, data-changing and
 * definition statements.
 *
 * Only the automaton is taken from this file: bison builds the LALR tables
 * (tools/yacctables/ParseTables.cmake), which the program carries as the
 * resources "SQYACC_YYA" ... "SQYACC_YYR".  The rule actions are C++ in
 * sql/SqlParser.cpp, chosen by rule number: every rule below ends with a
 * comment naming it, and the list kSqlRules there holds the same names in
 * the same order (a test holds the two, and the rules' lengths, against
 * each other and against the tables).
 *
 * Expressions are not built here: every expression is rendered as a text
 * of the expression language, which the executor parses again.  Two
 * expression grammars share the operators: *value* (select columns,
 * HAVING, CASE, TRANSFORM, PIVOT) has aggregates, CASE and subqueries as
 * values but no NOT, IN, LIKE, BETWEEN or IS; *condition* (WHERE, function
 * arguments, UPDATE and INSERT values) has those but no aggregates or CASE.
 *
 * Decisions this grammar makes where the dialect leaves room:
 *  - BETWEEN, IN, LIKE and their NOT forms share the comparisons' level
 *    (left to right), so they take everything to their left up to the
 *    nearest AND or OR; the NOT of NOT IN/NOT LIKE is the token NOT in
 *    operator position, a prefix NOT binds tightest (UNOT): NOT a = b is
 *    (NOT a) = b.
 *  - The prefix signs bind tighter than ^ and are allowed in conditions as
 *    well as in values; -2 ^ 2 is (-2) ^ 2.
 *  - COUNT is listed apart from the other aggregates, so COUNT(*) is the
 *    only aggregate over "*".
 *  - UPDATE ... SET a = x = (SELECT ...): the "=" after a set item's value
 *    ends the value (the set item's rule takes the precedence of "=", which
 *    is left-associative), so a set value cannot itself be an equality.
 *  - CREATE TABLE, ALTER TABLE and INSERT may come several in a row in one
 *    text, each optionally ended by ";"; every other statement is alone.
 *  - A join condition's AND binds tighter than its OR, as in conditions.
 *  - A subquery used as a value is the last subquery of the statement
 *    being read (normally its only one), so a subquery in the select list
 *    of a subquery stays with that subquery.
 */
%define lr.default-reduction consistent
%expect 0

%token IDENT 257 UINT 258 SINT 259 NUMBER 260 STRING 261
%token COMMA 262 LPAREN 263 RPAREN 264 DOT 265 SEMI 266 COLON 267
%token OR 268 AND 269
%token EQ 270 NEQ 271 GT 272 LT 273 GE 274 LE 275 BETWEEN 276 IN 277 LIKE 278
%token PLUS 279 MINUS 280 SLASH 281 STAR 282 MOD 283 DIV 284 SHL 285 SHR 286
%token CARET 288 NOT 289
%token ILLEGAL 290 COMMENT 291 BLANK 292 TAB 293 NEWLINE 294
%token TRUE_ 295 FALSE_ 296 SELECT 297 DISTINCT 298 FROM 299 WHERE 300 ORDER 301 BY 302
%token ASC 303 DESC 304 AS 305 INNER 306 OUTER 307 FULL 308 JOIN 309 ON 310 GROUP 311
%token HAVING 312 ANY 313 ALL 314 SUM 315 AVG 316 COUNT 317 MIN 318 MAX 319 STDEV 320
%token LEFT 321 RIGHT 322 LEADING 323 TRAILING 324 BOTH 325 TRIM 326 EXTRACT 327
%token YEAR 328 MONTH 329 DAY 330 HOUR 331 MINUTE 332 SECOND 333 FOR 334 SUBSTRING 335
%token DELETE 336 UPDATE 337 INSERT 338 INTO 339 VALUES 340 SET 341 CAST 342
%token CHAR 343 INTEGER 344 BOOLEAN 345 DATE 346 TIME 347 DATETIME 348 FLOAT 349
%token ESCAPE 350 NOW 351 CREATE 352 TABLE 353 SMALLINT 354 MONEY 355 AUTOINC 356
%token PRIMARY 357 KEY 358 BLOB 359 INDEX 360 UNIQUE 361 DROP 362 TRANSFORM 363
%token PIVOT 364 MERGE 365 WITH 366 IS 367 NULL_ 368 ALTER 369 COLUMN 370 ADD 371
%token APPEND 372 CASE 373 WHEN 374 THEN 375 ELSE 376 END 377 PACK 378 ZAP 379
%token REINDEX 380 RANGE 381 USING 382 FIELDS 383 TO 384

%left OR
%left AND
%left EQ NEQ GT LT GE LE BETWEEN IN LIKE NOT
%left PLUS MINUS
%left STAR SLASH MOD DIV SHL SHR
%right CARET
%precedence UMINUS
%precedence UNOT

%start input

%%

input: select_statement opt_semi                                  /* rSelectStatement */
  | TRANSFORM transform_list select_statement PIVOT pivot_value pivot_values opt_semi
                                                                  /* rTransformStatement */
  | MERGE select_statement WITH merge_select opt_semi              /* rMergeStatement */
  | UPDATE table SET set_list opt_where opt_semi                   /* rUpdateStatement */
  | UPDATE table SET set_list EQ subquery opt_semi                 /* rUpdateFromSubquery */
  | DELETE FROM table opt_where opt_semi                           /* rDeleteStatement */
  | insert_statements                                             /* rInsertStatements */
  | create_tables                                                 /* rCreateTables */
  | alter_tables                                                  /* rAlterTables */
  | CREATE opt_unique opt_direction INDEX IDENT ON STRING LPAREN index_fields RPAREN opt_semi
                                                                  /* rCreateIndex */
  | DROP TABLE STRING opt_semi                                    /* rDropTable */
  | DROP INDEX STRING IDENT opt_semi                              /* rDropIndex */
  | PACK TABLE table_list opt_semi                                /* rPackTable */
  | ZAP TABLE table_list opt_semi                                 /* rZapTable */
  | REINDEX TABLE table_list opt_semi                             /* rReindexTable */
  ;

opt_semi: %empty                                                  /* rNoSemi */
  | SEMI                                                          /* rSemi */
  ;

/* Queries */

select_statement: select_clause from_clause opt_where opt_range opt_group opt_order opt_into
                                                                  /* rSelect */
  ;

select_clause: select_head STAR                                   /* rSelectAll */
  | select_head column_list                                       /* rSelectColumns */
  ;

select_head: SELECT                                               /* rSelectHead */
  | SELECT DISTINCT                                               /* rSelectDistinct */
  ;

column_list: column                                               /* rFirstColumn */
  | column_list COMMA column                                      /* rNextColumn */
  ;

column: value opt_alias                                           /* rColumn */
  | IDENT DOT STAR                                                /* rTableStar */
  | CAST LPAREN value AS cast_type RPAREN opt_alias               /* rCastColumn */
  ;

opt_alias: %empty                                                 /* rNoAlias */
  | IDENT                                                         /* rAlias */
  | AS IDENT                                                      /* rAsAlias */
  ;

cast_type: CHAR LPAREN UINT RPAREN                                /* rCastChar */
  | INTEGER                                                       /* rCastInteger */
  | BOOLEAN                                                       /* rCastBoolean */
  | DATE                                                          /* rCastDate */
  | TIME                                                          /* rCastTime */
  | DATETIME                                                      /* rCastDateTime */
  | FLOAT                                                         /* rCastFloat */
  | MONEY                                                         /* rCastMoney */
  ;

from_clause: FROM table_list                                      /* rFromTables */
  | FROM table join_list                                          /* rFromJoins */
  | FROM subquery opt_alias                                       /* rFromSubquery */
  ;

table_list: table                                                 /* rFirstTable */
  | table_list COMMA table                                        /* rNextTable */
  ;

table: IDENT                                                      /* rTable */
  | IDENT IDENT                                                   /* rTableAlias */
  | STRING                                                        /* rQuotedTable */
  | STRING IDENT                                                  /* rQuotedTableAlias */
  ;

join_list: join                                                   /* rFirstJoin */
  | join_list join                                                /* rNextJoin */
  ;

join: join_kind table ON join_condition                           /* rJoin */
  ;

join_kind: JOIN                                                   /* rJoinPlain */
  | INNER JOIN                                                    /* rJoinInner */
  | LEFT INNER JOIN                                               /* rJoinLeftInner */
  | LEFT JOIN                                                     /* rJoinLeft */
  | RIGHT INNER JOIN                                              /* rJoinRightInner */
  | RIGHT JOIN                                                    /* rJoinRight */
  | OUTER JOIN                                                    /* rJoinOuter */
  | LEFT OUTER JOIN                                               /* rJoinLeftOuter */
  | RIGHT OUTER JOIN                                              /* rJoinRightOuter */
  | FULL OUTER JOIN                                               /* rJoinFullOuter */
  ;

join_condition: join_side join_op join_side                       /* rJoinCompare */
  | LPAREN join_condition RPAREN                                  /* rJoinParens */
  | join_condition AND join_condition                             /* rJoinAnd */
  | join_condition OR join_condition                              /* rJoinOr */
  ;

join_op: EQ                                                       /* rJoinEq */
  | NEQ                                                           /* rJoinNEQ */
  | GE                                                            /* rJoinGE */
  | LE                                                            /* rJoinLE */
  | GT                                                            /* rJoinGT */
  | LT                                                            /* rJoinLT */
  ;

join_side: IDENT DOT IDENT                                        /* rJoinQualified */
  | IDENT                                                         /* rJoinField */
  ;

opt_where: %empty                                                 /* rNoWhere */
  | WHERE condition                                               /* rWhere */
  ;

opt_range: %empty                                                 /* rNoRange */
  | SET RANGE FOR FIELDS range_fields range_from range_to USING INDEX STRING
                                                                  /* rRange */
  ;

range_fields: STRING                                              /* rFirstRangeField */
  | range_fields COMMA STRING                                     /* rNextRangeField */
  ;

range_from: FROM range_values                                     /* rRangeFrom */
  ;

range_to: TO range_values                                         /* rRangeTo */
  ;

range_values: range_value                                         /* rFirstRangeValue */
  | range_values COMMA range_value                                /* rNextRangeValue */
  ;

range_value: STRING                                               /* rRangeString */
  | SINT                                                          /* rRangeSInt */
  | UINT                                                          /* rRangeUInt */
  | NUMBER                                                        /* rRangeNumber */
  | parameter                                                     /* rRangeParameter */
  ;

opt_group: %empty                                                 /* rNoGroup */
  | GROUP BY group_list opt_having                                /* rGroup */
  ;

group_list: group_entry                                           /* rFirstGroup */
  | group_list COMMA group_entry                                  /* rNextGroup */
  ;

group_entry: group_item                                           /* rGroupEntry */
  ;

group_item: IDENT                                                 /* rGroupIdent */
  | IDENT DOT IDENT                                               /* rGroupQualified */
  | UINT                                                          /* rGroupNumber */
  ;

opt_having: %empty                                                /* rNoHaving */
  | HAVING value                                                  /* rHaving */
  ;

opt_order: %empty                                                 /* rNoOrder */
  | ORDER BY order_list                                           /* rOrder */
  ;

order_list: order_item                                            /* rFirstOrder */
  | order_list COMMA order_item                                   /* rNextOrder */
  ;

order_item: group_item                                            /* rOrderItem */
  | group_item ASC                                                /* rOrderAsc */
  | group_item DESC                                               /* rOrderDesc */
  ;

opt_into: %empty                                                  /* rNoInto */
  | INTO IDENT FOR APPEND                                         /* rInto */
  ;

/* Subqueries, TRANSFORM and MERGE */

subquery: LPAREN subquery_select inner_columns from_clause opt_where opt_range opt_group opt_order RPAREN
                                                                  /* rSubquery */
  ;

subquery_select: SELECT                                           /* rSubquerySelect */
  ;

inner_columns: STAR                                               /* rInnerAll */
  | DISTINCT STAR                                                 /* rInnerDistinctAll */
  | column_list                                                   /* rInnerColumns */
  | DISTINCT column_list                                          /* rInnerDistinctColumns */
  ;

subquery_operand: subquery                                        /* rSubqueryOperand */
  | ANY subquery                                                  /* rSubqueryAny */
  | ALL subquery                                                  /* rSubqueryAll */
  ;

transform_list: transform_column                                  /* rFirstTransform */
  | transform_list COMMA transform_column                         /* rNextTransform */
  ;

transform_column: value                                           /* rTransformColumn */
  | CAST LPAREN value AS cast_type RPAREN                         /* rTransformCast */
  ;

pivot_value: value                                                /* rPivotValue */
  ;

pivot_values: %empty                                              /* rNoPivotValues */
  | IN LPAREN pivot_list RPAREN                                   /* rPivotValues */
  | IN subquery                                                   /* rPivotSubquery */
  ;

pivot_list: constant                                              /* rFirstPivot */
  | pivot_list COMMA constant                                     /* rNextPivot */
  ;

merge_select: merge_head inner_columns from_clause opt_where opt_range opt_group opt_order
                                                                  /* rMergeSelect */
  ;

merge_head: SELECT                                                /* rMergeHead */
  ;

/* Values */

value: column_ref                                                 /* rValueColumn */
  | constant                                                      /* rValueConstant */
  | NOW                                                           /* rValueNow */
  | IDENT LPAREN RPAREN                                           /* rValueCall0 */
  | IDENT LPAREN STAR RPAREN                                      /* rValueCallStar */
  | IDENT LPAREN value_args RPAREN                                /* rValueCall */
  | trim_call                                                     /* rValueTrim */
  | extract_call                                                  /* rValueExtract */
  | substring_call                                                /* rValueSubstring */
  | CASE when_list else_part END                                  /* rValueCase */
  | subquery                                                      /* rValueSubquery */
  | aggregate_name LPAREN value RPAREN                            /* rAggregate */
  | aggregate_name LPAREN DISTINCT value RPAREN                   /* rAggregateDistinct */
  | COUNT LPAREN STAR RPAREN                                      /* rCountStar */
  | COUNT LPAREN value RPAREN                                     /* rCount */
  | COUNT LPAREN DISTINCT value RPAREN                            /* rCountDistinct */
  | value PLUS value                                              /* rValuePlus */
  | value MINUS value                                             /* rValueMinus */
  | value STAR value                                              /* rValueMult */
  | value SLASH value                                             /* rValueDivide */
  | value CARET value                                             /* rValueExp */
  | value MOD value                                               /* rValueMod */
  | value DIV value                                               /* rValueDiv */
  | value SHL value                                               /* rValueShl */
  | value SHR value                                               /* rValueShr */
  | value GT value                                                /* rValueGT */
  | value LT value                                                /* rValueLT */
  | value NEQ value                                               /* rValueNEQ */
  | value GE value                                                /* rValueGE */
  | value LE value                                                /* rValueLE */
  | value EQ value                                                /* rValueEq */
  | value AND value                                               /* rValueAnd */
  | value OR value                                                /* rValueOr */
  | MINUS value %prec UMINUS                                      /* rValueNegate */
  | PLUS value %prec UMINUS                                       /* rValuePlusSign */
  | LPAREN value RPAREN                                           /* rValueParens */
  ;

value_args: value                                                 /* rFirstValueArg */
  | value_args COMMA value                                        /* rNextValueArg */
  ;

aggregate_name: SUM                                               /* rAggSum */
  | AVG                                                           /* rAggAvg */
  | STDEV                                                         /* rAggStdev */
  | MIN                                                           /* rAggMin */
  | MAX                                                           /* rAggMax */
  ;

column_ref: IDENT                                                 /* rColumnRef */
  | IDENT DOT IDENT                                               /* rQualifiedColumnRef */
  ;

constant: UINT                                                    /* rConstUInt */
  | SINT                                                          /* rConstSInt */
  | NUMBER                                                        /* rConstNumber */
  | STRING                                                        /* rConstString */
  | TRUE_                                                         /* rConstTrue */
  | FALSE_                                                        /* rConstFalse */
  | parameter                                                     /* rConstParameter */
  ;

parameter: COLON IDENT                                            /* rParameter */
  ;

trim_call: TRIM LPAREN trim_side STRING FROM condition RPAREN     /* rTrim */
  ;

trim_side: LEADING                                                /* rTrimLeading */
  | TRAILING                                                      /* rTrimTrailing */
  | BOTH                                                          /* rTrimBoth */
  ;

extract_call: EXTRACT LPAREN date_part FROM condition RPAREN      /* rExtract */
  ;

date_part: YEAR                                                   /* rPartYear */
  | MONTH                                                         /* rPartMonth */
  | DAY                                                           /* rPartDay */
  | HOUR                                                          /* rPartHour */
  | MINUTE                                                        /* rPartMinute */
  | SECOND                                                        /* rPartSecond */
  ;

substring_call: SUBSTRING LPAREN condition FROM UINT RPAREN       /* rSubstring */
  | SUBSTRING LPAREN condition FROM UINT FOR UINT RPAREN          /* rSubstringFor */
  ;

when_list: when_part                                              /* rFirstWhen */
  | when_list when_part                                           /* rNextWhen */
  ;

when_part: WHEN value THEN case_result                            /* rWhen */
  ;

else_part: %empty                                                 /* rNoElse */
  | ELSE case_result                                              /* rElse */
  ;

case_result: UINT                                                 /* rResultUInt */
  | SINT                                                          /* rResultSInt */
  | NUMBER                                                        /* rResultNumber */
  | STRING                                                        /* rResultString */
  | TRUE_                                                         /* rResultTrue */
  | FALSE_                                                        /* rResultFalse */
  ;

/* Conditions */

condition: column_ref                                             /* rCondColumn */
  | constant                                                      /* rCondConstant */
  | NOW                                                           /* rCondNow */
  | IDENT LPAREN RPAREN                                           /* rCondCall0 */
  | IDENT LPAREN condition_args RPAREN                            /* rCondCall */
  | LEFT LPAREN condition_args RPAREN                             /* rCondLeft */
  | RIGHT LPAREN condition_args RPAREN                            /* rCondRight */
  | trim_call                                                     /* rCondTrim */
  | extract_call                                                  /* rCondExtract */
  | substring_call                                                /* rCondSubstring */
  | column_ref IS NULL_                                           /* rIsNull */
  | column_ref IS NOT NULL_                                       /* rIsNotNull */
  | condition BETWEEN column_ref AND column_ref                   /* rBetweenColumns */
  | condition BETWEEN constant AND constant                       /* rBetweenConstants */
  | condition IN LPAREN in_list RPAREN                            /* rInList */
  | condition NOT IN LPAREN in_list RPAREN                        /* rNotInList */
  | condition IN subquery_operand                                 /* rInSubquery */
  | condition NOT IN subquery_operand                             /* rNotInSubquery */
  | condition LIKE constant opt_escape                            /* rLike */
  | condition NOT LIKE constant opt_escape                        /* rNotLike */
  | condition PLUS condition                                      /* rCondPlus */
  | condition MINUS condition                                     /* rCondMinus */
  | condition STAR condition                                      /* rCondMult */
  | condition SLASH condition                                     /* rCondDivide */
  | condition CARET condition                                     /* rCondExp */
  | condition MOD condition                                       /* rCondMod */
  | condition DIV condition                                       /* rCondDiv */
  | condition SHL condition                                       /* rCondShl */
  | condition SHR condition                                       /* rCondShr */
  | condition AND condition                                       /* rCondAnd */
  | condition OR condition                                        /* rCondOr */
  | condition EQ condition                                        /* rCondEq */
  | condition GE condition                                        /* rCondGE */
  | condition LE condition                                        /* rCondLE */
  | condition GT condition                                        /* rCondGT */
  | condition LT condition                                        /* rCondLT */
  | condition NEQ condition                                       /* rCondNEQ */
  | NOT condition %prec UNOT                                      /* rCondNot */
  | MINUS condition %prec UMINUS                                  /* rCondNegate */
  | PLUS condition %prec UMINUS                                   /* rCondPlusSign */
  | LPAREN condition RPAREN                                       /* rCondParens */
  | subquery_operand                                              /* rCondSubquery */
  ;

condition_args: condition                                         /* rFirstCondArg */
  | condition_args COMMA condition                                /* rNextCondArg */
  ;

in_list: constant                                                 /* rFirstIn */
  | in_list COMMA constant                                        /* rNextIn */
  ;

opt_escape: %empty                                                /* rNoEscape */
  | ESCAPE STRING                                                 /* rEscape */
  ;

/* UPDATE, INSERT */

set_list: set_item                                                /* rFirstSet */
  | set_list COMMA set_item                                       /* rNextSet */
  ;

set_item: IDENT EQ condition                                      /* rSetItem */
  | IDENT EQ NULL_                                                /* rSetNull */
  ;

insert_statements: insert_statement                               /* rFirstInsert */
  | insert_statements insert_statement                            /* rNextInsert */
  ;

insert_statement: INSERT INTO insert_target opt_insert_columns VALUES insert_source opt_semi
                                                                  /* rInsert */
  ;

insert_target: IDENT                                              /* rInsertTable */
  | STRING                                                        /* rInsertFile */
  ;

opt_insert_columns: %empty                                        /* rNoInsertColumns */
  | LPAREN insert_names RPAREN                                    /* rInsertColumns */
  | LPAREN STAR RPAREN                                            /* rInsertAllColumns */
  ;

insert_names: IDENT                                               /* rFirstInsertName */
  | insert_names COMMA IDENT                                      /* rNextInsertName */
  ;

insert_source: LPAREN insert_values RPAREN                        /* rInsertValues */
  | subquery                                                      /* rInsertSubquery */
  ;

insert_values: insert_value                                       /* rFirstInsertValue */
  | insert_values COMMA insert_value                              /* rNextInsertValue */
  ;

insert_value: NULL_                                               /* rInsertNull */
  | condition                                                     /* rInsertCondition */
  ;

/* Definition statements */

create_tables: create_table                                       /* rFirstCreate */
  | create_tables create_table                                    /* rNextCreate */
  ;

create_table: CREATE TABLE STRING LPAREN field_defs opt_primary_key RPAREN opt_semi
                                                                  /* rCreateTable */
  ;

field_defs: field_def                                             /* rFirstFieldDef */
  | field_defs COMMA field_def                                    /* rNextFieldDef */
  ;

field_def: IDENT field_type                                       /* rFieldDef */
  ;

field_type: CHAR LPAREN UINT RPAREN                               /* rTypeChar */
  | INTEGER                                                       /* rTypeInteger */
  | SMALLINT                                                      /* rTypeSmallInt */
  | BOOLEAN                                                       /* rTypeBoolean */
  | DATE                                                          /* rTypeDate */
  | TIME                                                          /* rTypeTime */
  | DATETIME                                                      /* rTypeDateTime */
  | MONEY                                                         /* rTypeMoney */
  | FLOAT                                                         /* rTypeFloat */
  | FLOAT LPAREN UINT RPAREN                                      /* rTypeFloatP */
  | FLOAT LPAREN UINT COMMA UINT RPAREN                           /* rTypeFloatPS */
  | AUTOINC                                                       /* rTypeAutoInc */
  | BLOB LPAREN UINT RPAREN                                       /* rTypeBlob */
  ;

opt_primary_key: %empty                                           /* rNoPrimaryKey */
  | PRIMARY KEY LPAREN key_fields RPAREN                          /* rPrimaryKey */
  ;

key_fields: IDENT                                                 /* rFirstKeyField */
  | key_fields COMMA IDENT                                        /* rNextKeyField */
  ;

alter_tables: alter_table                                         /* rFirstAlter */
  | alter_tables alter_table                                      /* rNextAlter */
  ;

alter_table: ALTER TABLE STRING alter_actions opt_semi            /* rAlterTable */
  ;

alter_actions: alter_action                                       /* rFirstAlterAction */
  | alter_actions COMMA alter_action                              /* rNextAlterAction */
  ;

alter_action: ADD IDENT field_type                                /* rAddField */
  | ADD COLUMN IDENT field_type                                   /* rAddColumn */
  | DROP IDENT                                                    /* rDropField */
  | DROP COLUMN IDENT                                             /* rDropColumn */
  ;

opt_unique: %empty                                                /* rNotUnique */
  | UNIQUE                                                        /* rUnique */
  ;

opt_direction: %empty                                             /* rNoDirection */
  | ASC                                                           /* rAscending */
  | DESC                                                          /* rDescending */
  ;

index_fields: IDENT                                               /* rFirstIndexField */
  | index_fields COMMA IDENT                                      /* rNextIndexField */
  ;

%%
